#pragma once

#include <cassert>
#include <utility>
#include <variant>

namespace tolvane {

// A value or the error that prevented it. Errors are values whose description
// is what the user sees; nothing here throws through Qt code.
template <typename E>
struct Unexpected {
    // A constructor, not an aggregate: clang before 16 (Debian's clang-tidy)
    // cannot initialise an aggregate from parentheses.
    Unexpected(E e)
        : error(std::move(e)) {}
    E error;
};

template <typename E>
Unexpected(E) -> Unexpected<E>;

// The value of an operation that has no result of its own.
struct Done {
    friend bool operator==(Done, Done) = default;
};

template <typename T, typename E>
class Expected {
public:
    // A default value; lets awaiting helpers hold a result slot before it is set.
    Expected() = default;
    Expected(T value)
        : m_state(std::in_place_index<0>, std::move(value)) {}
    template <typename F>
    Expected(Unexpected<F> unexpected)
        : m_state(std::in_place_index<1>, E(std::move(unexpected.error))) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & {
        assert(hasValue());
        return std::get<0>(m_state);
    }
    const T& value() const& {
        assert(hasValue());
        return std::get<0>(m_state);
    }
    T&& value() && {
        assert(hasValue());
        return std::get<0>(std::move(m_state));
    }
    const E& error() const& {
        assert(!hasValue());
        return std::get<1>(m_state);
    }
    E&& error() && {
        assert(!hasValue());
        return std::get<1>(std::move(m_state));
    }

    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

private:
    std::variant<T, E> m_state;
};

} // namespace tolvane
