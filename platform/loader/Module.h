// Shared modules of the suite ("kvcard.dll", "mxconv.dll", ...) are loaded by
// file name, as the programs always did. A Module owns one dlopen handle and
// closes it when it goes away; symbols taken from it are only valid while it
// is loaded.
#pragma once

#include <string>
#include <string_view>

namespace murmex::platform {

class Module {
public:
    Module() noexcept = default;
    ~Module();

    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // A bare file name is looked for in the program directory first and then
    // on the normal search path; a name with a '/' is opened as given.
    // Failure gives an empty Module and, if asked for, the loader's message.
    static Module Load(std::string_view name, std::string* error = nullptr);

    explicit operator bool() const noexcept { return handle_ != nullptr; }

    // nullptr when the symbol is missing or nothing is loaded.
    void* Symbol(std::string_view name) const;

    template <class F>
    F* Function(std::string_view name) const {
        return reinterpret_cast<F*>(Symbol(name));
    }

    // Closes the handle; harmless when nothing is loaded.
    void Free() noexcept;

private:
    explicit Module(void* handle) noexcept : handle_(handle) {}

    void* handle_ = nullptr;
};

}  // namespace murmex::platform
