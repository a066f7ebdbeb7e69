#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <initializer_list>

// What the mirror does with one MP3, decided before anything is done (mirrordecisions.h) and
// then carried out (mirrorapply.h). The first six are what a run counts and reports.
enum class Step : std::uint8_t {
    Convert, // no MP3 of it yet: made
    EncodeAgain, // its audio or settings changed: made again
    Retag, // only its tags changed: its tag written again
    Move, // its source moved or was renamed: its MP3 renamed
    Trash, // its source is gone: its MP3 to the trash
    Delete, // its source is gone: its MP3 deleted (--gone=delete)
    Adopt, // an MP3 there without a record: made aside and kept if it is the same
    AlbumRetag, // its album changed: its album figures made again
    Refresh, // the source's size or time changed, not what it makes: the record written again
    Stay, // its source is below a place that could not be read: left as it is, named
    Count
};
inline constexpr int kCountedSteps = 6;

// A set of steps; none is "kept as it is".
class Steps
{
public:
    constexpr Steps() = default;
    constexpr Steps(std::initializer_list<Step> steps)
    {
        for (const Step step : steps)
            add(step);
    }
    constexpr bool has(Step step) const { return (m_bits & bit(step)) != 0; }
    constexpr void add(Step step) { m_bits |= bit(step); }
    constexpr void remove(Step step) { m_bits &= ~bit(step); }
    constexpr bool none() const { return m_bits == 0; }
    constexpr bool operator==(const Steps &) const = default;
    // Its MP3 is made by an encode (or a copy of an MP3 source).
    constexpr bool encodes() const
    {
        return has(Step::Convert) || has(Step::EncodeAgain) || has(Step::Adopt);
    }

private:
    static constexpr std::uint16_t bit(Step step) { return std::uint16_t(1u << unsigned(step)); }
    std::uint16_t m_bits = 0;
};

// The step's word in the plan ("encode again"); "keep" for none.
QString stepName(Step step);
// The steps' words joined by "+", in the enum's order: "move+retag".
QString stepNames(Steps steps);

// What a plan or a run did, by counted step: an adoption counts as a conversion, an album's
// figures as a retag.
class StepCounts
{
public:
    void count(Steps steps);
    void count(Step step) { ++m_counts[std::size_t(countedAs(step))]; }
    int operator[](Step step) const { return m_counts[std::size_t(step)]; }
    static Step countedAs(Step step);

private:
    std::array<int, kCountedSteps> m_counts = {};
};
