// Errors are returned as values: an operation that can fail returns Result<T>, which
// holds either its value or a named error. Nothing is thrown across module boundaries.
#pragma once

#include <cstdint>
#include <utility>
#include <variant>

enum class Error : std::uint8_t {
    file_not_found,
    access_denied,
    read_failed,
    write_failed,
    line_too_long,
    invalid_value,
    load_shader_error,  // LoadShaderError: the shader did not load
    shader_not_found,   // ShaderNotFound: no registry entry holds the shader
    out_of_memory,
    random_source_failed,
    not_a_file,      // NotAFile: a FIFO, device or directory where a file was expected
    file_too_large,  // FileTooLarge: far larger than any real file of its kind
    port_in_use,     // the network port is taken by another program
    bad_address,     // an address that does not parse or resolve
    network_failed,  // the network layer could not start
};

// A short name for log lines, e.g. "ShaderNotFound".
const char *error_name(Error e);

struct Ok {};

template <typename T = Ok>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error e) : v_(e) {}

    bool ok() const { return std::holds_alternative<T>(v_); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return std::get<T>(v_); }
    T &value() { return std::get<T>(v_); }
    Error error() const { return std::get<Error>(v_); }

private:
    std::variant<T, Error> v_;
};
