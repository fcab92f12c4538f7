// The game's shaders are written once, in GLSL 330. A GL ES 3.0 context (WebGL 2)
// takes GLSL ES 3.00, which differs in its version line and in needing default
// precisions; the rest of what the shaders use means the same in both.
#include "internal.h"

#include <cctype>

namespace engine {
namespace {

// Position just past the end of the line starting at `at` (past its newline, if any).
std::size_t line_end(std::string_view code, std::size_t at) {
    const std::size_t nl = code.find('\n', at);
    return nl == std::string_view::npos ? code.size() : nl + 1;
}

// True if the line starting at `at` is the preprocessor directive `name`.
bool is_directive(std::string_view code, std::size_t at, std::string_view name) {
    while (at < code.size() && (code[at] == ' ' || code[at] == '\t')) at++;
    if (at >= code.size() || code[at] != '#') return false;
    at++;
    while (at < code.size() && (code[at] == ' ' || code[at] == '\t')) at++;
    if (code.substr(at, name.size()) != name) return false;
    const std::size_t after = at + name.size();
    return after >= code.size() || std::isspace(static_cast<unsigned char>(code[after]));
}

// True if the line starting at `at` is blank or holds only a // comment.
bool is_blank_or_comment(std::string_view code, std::size_t at) {
    while (at < code.size() && (code[at] == ' ' || code[at] == '\t' || code[at] == '\r')) at++;
    return at >= code.size() || code[at] == '\n' || code.substr(at, 2) == "//";
}

}  // namespace

std::string glsl_for_es(std::string_view code) {
    // highp everywhere: the shadow lookup compares depths 0.0002 apart, which mediump
    // cannot tell apart, and every WebGL 2 device has highp in both stages.
    static constexpr std::string_view header = "#version 300 es\n"
                                               "precision highp float;\n"
                                               "precision highp int;\n"
                                               "precision highp sampler2D;\n";
    // The version line may only be preceded by blank lines and comments.
    std::size_t at = 0;
    while (at < code.size() && is_blank_or_comment(code, at) && !is_directive(code, at, "version"))
        at = line_end(code, at);
    std::size_t rest = at;
    if (at < code.size() && is_directive(code, at, "version")) rest = line_end(code, at);
    // #extension lines must come before any declaration, precisions included.
    std::size_t extensions_end = rest;
    while (extensions_end < code.size() && is_directive(code, extensions_end, "extension"))
        extensions_end = line_end(code, extensions_end);

    std::string out;
    out.reserve(code.size() + header.size());
    out += header.substr(0, header.find('\n') + 1);
    out += code.substr(rest, extensions_end - rest);
    out += header.substr(header.find('\n') + 1);
    out += code.substr(extensions_end);
    return out;
}

}  // namespace engine
