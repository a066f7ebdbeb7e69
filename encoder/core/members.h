#pragma once

#include "encodersettings.h"

#include <QString>
#include <QVariant>

#include <vector>

// The component's members by number. The numbers are fixed: scripts and the window address
// members by them.
enum class EncoderMember : int {
    InputFile = 1,
    OutputFile = 2,
    Bitrate = 5,
    VoiceMode = 7,
    UseVBR = 8,
    VBRRate = 9,
    SkipTags = 12,
    FixQuality = 13,
    FastMode = 14,
    RawPCM = 19,
    ForceByteSwap = 20,
    Mono = 21,
    WriteInfoTag = 22,
    Copyrighted = 23,
    Original = 24,
    TagTitle = 25,
    TagArtist = 26,
    TagAlbum = 27,
    TagYear = 28,
    TagGenre = 30,
    Encode = 33,
    Abort = 35,
};

enum class MemberKind { Text, Switch, BitRate, VbrRate, Method };

// One member: its number, name and kind, and the setting it holds (the one pointer its kind
// uses; none for a method). Its default is that setting's in a fresh EncoderSettings.
struct MemberField
{
    EncoderMember member;
    const char *name;
    MemberKind kind;
    QString EncoderSettings::*text = nullptr;
    bool EncoderSettings::*flag = nullptr;
    int EncoderSettings::*number = nullptr;
};

// Every member, by number: the switches, rates and paths listed in members.cpp and the tag
// texts of tagFields().
const std::vector<MemberField> &memberFields();
const MemberField *memberField(EncoderMember member);

// The value the member holds in settings: text, bool or int; invalid for a method.
QVariant memberValue(const EncoderSettings &settings, const MemberField &field);
