// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's standard error box and the guard every event handler runs inside: an
// exception that escapes a handler is shown in that box and the program goes on. No exception
// ever crosses Qt's event loop.

#include <QString>

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace platform {

// The application title: the caption of the standard error box and of the taskbar entry.
// (Not Qt's applicationDisplayName, which the desktop would append to every window caption.)
const QString& applicationTitle();
void setApplicationTitle(const QString& title);

// The box text for an error message: a full stop is appended when the message is not empty and
// its last character sorts after ".".
QString standardErrorText(const QString& message);

// The error's text (its what(), read in the system code page, the names it quotes in theirs).
QString errorMessage(const std::exception& error);

// Shows the standard error box: the text above, the application title as caption, OK and the
// error icon, owned by no window. UI thread only.
void showStandardError(const QString& message);
inline void showStandardError(const std::exception& error) {
    showStandardError(errorMessage(error));
}

// Runs `f` and shows any std::exception it throws in the standard error box.
template <class F, class... Args>
void runGuarded(F&& f, Args&&... args) {
    try {
        std::invoke(std::forward<F>(f), std::forward<Args>(args)...);
    } catch (const std::exception& error) {
        showStandardError(error);
    }
}

// Calls `f` with `args` when it takes them, else with none.
template <class F, class... A>
void invokeDroppingArguments(const F& f, A&&... args) {
    if constexpr (std::is_invocable_v<const F&, A...>) {
        std::invoke(f, std::forward<A>(args)...);
    } else {
        std::invoke(f);
    }
}

// Wraps a callable for connect(): the returned handler runs it inside the guard. Signal
// arguments are passed on when the callable takes them and dropped when it takes none.
template <class F>
auto guarded(F f) {
    // The choice between the two calls lives in a function template of its own: clang 14
    // would instantiate the discarded branch of an `if constexpr` written in a lambda nested
    // in this generic one.
    return [f = std::move(f)](auto&&... args) {
        runGuarded([&] { invokeDroppingArguments(f, std::forward<decltype(args)>(args)...); });
    };
}

// The same for a member function of `object`.
template <class T, class R, class... P>
auto guarded(T* object, R (T::*member)(P...)) {
    return guarded([object, member](auto&&... args) {
        if constexpr (sizeof...(P) == 0) {
            (object->*member)();
        } else {
            (object->*member)(std::forward<decltype(args)>(args)...);
        }
    });
}

}  // namespace platform
