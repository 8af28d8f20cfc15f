#pragma once

#include <QCoro/QCoroTask>

#include <optional>
#include <utility>

namespace tolvane::test {

namespace detail {
template <typename T>
QCoro::Task<void> storeResult(QCoro::Task<T> task, std::optional<T>* out) {
    out->emplace(co_await std::move(task));
}
} // namespace detail

// QCoro::waitFor for result types without a default constructor (Expected):
// runs the task to completion in a nested event loop and returns its result.
template <typename T>
T awaitTask(QCoro::Task<T> task) {
    std::optional<T> result;
    QCoro::waitFor(detail::storeResult(std::move(task), &result));
    return std::move(*result);
}

} // namespace tolvane::test
