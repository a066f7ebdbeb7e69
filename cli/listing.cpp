#include "listing.h"

#include "messages.h"

#include <QRegularExpression>

bool printListed(QTextStream &out, BatchRequest::Listing listing, const QString &input, const QString &output)
{
    if (listing == BatchRequest::Listing::Nul) {
        out << input << QChar(0) << output << QChar(0);
        return true;
    }
    if ((input + output).contains(QRegularExpression(QStringLiteral("[\t\n]")))) {
        say(QStringLiteral("%1: a name with a tab or a newline cannot be listed in lines; --list0 lists it").arg(input));
        return false;
    }
    out << input << '\t' << output << '\n';
    return true;
}
