#pragma once
// The base of the finder's settings objects: each copies itself from an object of its own
// class and refuses any other with the class library's assignment error.

#include <stdexcept>
#include <string>

namespace search {

// A failed conversion or assignment between objects of unrelated classes.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPersistent {
public:
    virtual ~TPersistent() = default;

    // Copies `Source` into this object. The base refuses: "Cannot assign a X to a Y".
    virtual void Assign(const TPersistent* Source) { AssignError(Source); }
    void Assign(const TPersistent& Source) { Assign(&Source); }

    virtual const char* ClassName() const = 0;

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;

    [[noreturn]] void AssignError(const TPersistent* Source) const {
        const std::string from = Source ? Source->ClassName() : "nil";
        throw EConvertError("Cannot assign a " + from + " to a " + ClassName());
    }
};

}  // namespace search
