#include "members.h"

#include "tagfields.h"

#include <algorithm>

namespace {

using M = EncoderMember;
using K = MemberKind;
using S = EncoderSettings;

// Every member but the tag texts, which tagfields.cpp lists.
const MemberField kOwnMembers[] = {
    {M::InputFile, "InputFile", K::Text, &S::inputFile},
    {M::OutputFile, "OutputFile", K::Text, &S::outputFile},
    {M::Bitrate, "Bitrate", K::BitRate, nullptr, nullptr, &S::bitrate},
    {M::VoiceMode, "VoiceMode", K::Switch, nullptr, &S::voiceMode},
    {M::UseVBR, "UseVBR", K::Switch, nullptr, &S::useVbr},
    {M::VBRRate, "VBRRate", K::VbrRate, nullptr, nullptr, &S::vbrRate},
    {M::SkipTags, "SkipTags", K::Switch, nullptr, &S::skipTags},
    {M::FixQuality, "FixQuality", K::Switch, nullptr, &S::fixQuality},
    {M::FastMode, "FastMode", K::Switch, nullptr, &S::fastMode},
    {M::RawPCM, "RawPCM", K::Switch, nullptr, &S::rawPcm},
    {M::ForceByteSwap, "ForceByteSwap", K::Switch, nullptr, &S::forceByteSwap},
    {M::Mono, "Mono", K::Switch, nullptr, &S::mono},
    {M::WriteInfoTag, "WriteInfoTag", K::Switch, nullptr, &S::writeInfoTag},
    {M::Copyrighted, "Copyrighted", K::Switch, nullptr, &S::copyrighted},
    {M::Original, "Original", K::Switch, nullptr, &S::original},
    {M::Encode, "Encode", K::Method},
    {M::Abort, "Abort", K::Method},
};

} // namespace

const std::vector<MemberField> &memberFields()
{
    static const std::vector<MemberField> fields = [] {
        std::vector<MemberField> all(std::begin(kOwnMembers), std::end(kOwnMembers));
        for (const TagField &tag : tagFields())
            all.push_back({tag.member, tag.name, K::Text, tag.text});
        std::sort(all.begin(), all.end(),
                  [](const MemberField &a, const MemberField &b) { return a.member < b.member; });
        return all;
    }();
    return fields;
}

const MemberField *memberField(EncoderMember member)
{
    for (const MemberField &field : memberFields()) {
        if (field.member == member)
            return &field;
    }
    return nullptr;
}

QVariant memberValue(const EncoderSettings &settings, const MemberField &field)
{
    switch (field.kind) {
    case K::Text:
        return settings.*field.text;
    case K::Switch:
        return settings.*field.flag;
    case K::BitRate:
    case K::VbrRate:
        return settings.*field.number;
    case K::Method:
        break;
    }
    return {};
}
