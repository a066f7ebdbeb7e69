#pragma once

#include <QString>

// A folder or file a search could not read, and why. Nothing below it is known: not gone.
struct UnreadPlace
{
    QString path;
    QString reason;
};
