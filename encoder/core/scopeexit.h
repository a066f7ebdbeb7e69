#pragma once

#include <utility>

// Calls f when the scope ends, however it ends: a flag others wait for is set even when an
// exception leaves the scope.
template <typename F>
class [[nodiscard]] ScopeExit
{
public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ScopeExit(const ScopeExit &) = delete;
    ScopeExit &operator=(const ScopeExit &) = delete;
    ~ScopeExit() { m_f(); }

private:
    F m_f;
};
