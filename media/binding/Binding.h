// Helpers for the binding modules: each module lists its library's names once, as an
// X-macro LIST(X, O) where X marks a required name and O an optional one. The macros
// below turn the list into pointer declarations, definitions, and bind/unbind code.
#pragma once

#include <string>

#define FF_POINTER_DECLARE(name) extern decltype(&::name) name;
#define FF_POINTER_DEFINE(name) decltype(&::name) name = nullptr;
#define FF_POINTER_BIND_REQUIRED(name)                                                             \
    BindFunction(fileName, handle, #name, reinterpret_cast<void**>(&ff::name), false);
#define FF_POINTER_BIND_OPTIONAL(name)                                                             \
    BindFunction(fileName, handle, #name, reinterpret_cast<void**>(&ff::name), true);
#define FF_POINTER_UNBIND(name) ff::name = nullptr;

// Declares the pointers of one library in namespace ff and its bind/unbind procedures.
#define FF_DECLARE_BINDING(LIST, BindProc, UnbindProc)                                             \
    namespace ff {                                                                                 \
    LIST(FF_POINTER_DECLARE, FF_POINTER_DECLARE)                                                   \
    }                                                                                              \
    void BindProc(const std::string& fileName, void* handle);                                      \
    void UnbindProc();

// Defines them; used once, in the module's .cpp file.
#define FF_DEFINE_BINDING(LIST, BindProc, UnbindProc)                                              \
    namespace ff {                                                                                 \
    LIST(FF_POINTER_DEFINE, FF_POINTER_DEFINE)                                                     \
    }                                                                                              \
    void BindProc(const std::string& fileName, void* handle) {                                     \
        (void)fileName;                                                                            \
        (void)handle;                                                                              \
        LIST(FF_POINTER_BIND_REQUIRED, FF_POINTER_BIND_OPTIONAL)                                   \
    }                                                                                              \
    void UnbindProc() {                                                                            \
        LIST(FF_POINTER_UNBIND, FF_POINTER_UNBIND)                                                 \
    }
