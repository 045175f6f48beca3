#include "Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <utility>

#include "ProgramDirectory.h"

namespace murmex::platform {

namespace {

constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;

std::string LastLoaderError() {
    const char* text = ::dlerror();
    return text != nullptr ? std::string(text) : std::string("unknown loader error");
}

}  // namespace

Module::~Module() { Free(); }

Module::Module(Module&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Module& Module::operator=(Module&& other) noexcept {
    if (this != &other) {
        Free();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Module Module::Load(std::string_view name, std::string* error) {
    auto fail = [error](std::string message) {
        if (error != nullptr) *error = std::move(message);
        return Module();
    };
    // dlopen treats an empty name as the main program, which is never meant.
    if (name.empty()) return fail("empty module name");

    const std::string file(name);
    if (file.find('/') != std::string::npos) {
        void* handle = ::dlopen(file.c_str(), kOpenFlags);
        if (handle == nullptr) return fail(LastLoaderError());
        if (error != nullptr) error->clear();
        return Module(handle);
    }

    // The program directory comes first, like the Windows loader did, so the
    // suite's own copy wins over anything on the search path.
    std::string localError;
    bool localExists = false;
    if (const std::string dir = ProgramDirectory(); !dir.empty()) {
        const std::string local = dir + file;
        if (void* handle = ::dlopen(local.c_str(), kOpenFlags)) {
            if (error != nullptr) error->clear();
            return Module(handle);
        }
        localError = LastLoaderError();
        localExists = ::access(local.c_str(), F_OK) == 0;
    }

    if (void* handle = ::dlopen(file.c_str(), kOpenFlags)) {
        if (error != nullptr) error->clear();
        return Module(handle);
    }
    std::string searchError = LastLoaderError();
    // A module that is there but broken (missing dependency, wrong
    // architecture) says more than "not found" on the search path.
    return fail(localExists ? std::move(localError) : std::move(searchError));
}

void* Module::Symbol(std::string_view name) const {
    if (handle_ == nullptr) return nullptr;
    const std::string symbol(name);
    return ::dlsym(handle_, symbol.c_str());
}

void Module::Free() noexcept {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace murmex::platform
