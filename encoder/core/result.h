#pragma once

#include "outcome.h"

#include <cassert>
#include <utility>
#include <variant>

// A value, or the failure that kept it from being made: a step of a run returns one, and its
// caller passes a failure on with `if (!made) return made.failure();`.
template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_held(std::move(value)) {}
    Result(Outcome failure) : m_held(std::move(failure)) { assert(!std::get<Outcome>(m_held).ok()); }

    bool ok() const { return std::holds_alternative<T>(m_held); }
    explicit operator bool() const { return ok(); }
    // Only where ok().
    T &operator*() { return std::get<T>(m_held); }
    const T &operator*() const { return std::get<T>(m_held); }
    T *operator->() { return &std::get<T>(m_held); }
    const T *operator->() const { return &std::get<T>(m_held); }
    // Only where not ok().
    const Outcome &failure() const { return std::get<Outcome>(m_held); }

private:
    std::variant<T, Outcome> m_held;
};
