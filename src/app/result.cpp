#include "app/result.h"

const char *error_name(Error e) {
    switch (e) {
    case Error::file_not_found:
        return "FileNotFound";
    case Error::access_denied:
        return "AccessDenied";
    case Error::read_failed:
        return "ReadFailed";
    case Error::write_failed:
        return "WriteFailed";
    case Error::line_too_long:
        return "LineTooLong";
    case Error::invalid_value:
        return "InvalidValue";
    case Error::load_shader_error:
        return "LoadShaderError";
    case Error::shader_not_found:
        return "ShaderNotFound";
    case Error::out_of_memory:
        return "OutOfMemory";
    case Error::random_source_failed:
        return "RandomSourceFailed";
    case Error::not_a_file:
        return "NotAFile";
    case Error::file_too_large:
        return "FileTooLarge";
    case Error::port_in_use:
        return "PortInUse";
    case Error::bad_address:
        return "BadAddress";
    case Error::network_failed:
        return "NetworkFailed";
    }
    return "UnknownError";
}
