// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The base of the finder's settings objects: each copies itself from an object of its own
// class and refuses any other with the class library's assignment error.

#include <stdexcept>
#include <string>

namespace search {

// A failed conversion or assignment between objects of unrelated classes.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Persistent {
public:
    virtual ~Persistent() = default;

    // Copies `Source` into this object. The base refuses: "Cannot assign a X to a Y".
    virtual void assign(const Persistent* Source) { assignError(Source); }
    void assign(const Persistent& Source) { assign(&Source); }

    virtual const char* className() const = 0;

protected:
    Persistent() = default;
    Persistent(const Persistent&) = default;
    Persistent& operator=(const Persistent&) = default;

    [[noreturn]] void assignError(const Persistent* Source) const {
        const std::string from = Source ? Source->className() : "nil";
        throw ConvertError("Cannot assign a " + from + " to a " + className());
    }
};

}  // namespace search
