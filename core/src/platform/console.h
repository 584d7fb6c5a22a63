#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/io_error.h"

namespace corvel {

enum class StandardStream { Output, Error };

// The standard streams. A console gets UTF-16 through WriteConsoleW and a file or pipe gets the
// UTF-8 bytes unchanged; the seam lets tests capture exactly what the user would see.
class Console {
public:
    virtual ~Console() = default;

    // Appends UTF-8 text to the stream. Standard output may be buffered until flush(); standard
    // error is written at once, after what standard output holds, so both keep their order.
    virtual void write(StandardStream stream, std::string_view text) = 0;

    // Pushes everything written so far to the stream.
    virtual void flush(StandardStream stream) = 0;

    // The first failure to write the stream (a full disk, a pipe whose reader is gone), if any.
    // Once a write has failed, nothing more is written to that stream.
    virtual std::optional<IoError> write_failure(StandardStream stream) const = 0;

    // Whether the stream is an interactive console.
    virtual bool is_terminal(StandardStream stream) const = 0;

    // Switches on escape-sequence processing for standard output when it is a console;
    // failures are ignored.
    virtual void enable_virtual_terminal() = 0;

    // One line of standard input as UTF-8 with its line end, the empty text at end of input,
    // or the platform's text of the read failure ("stream did not contain valid UTF-8" for
    // piped input that is not UTF-8). Reading stops once `limit` + 2 characters (Unicode scalar
    // values, on a console and a pipe alike) have come without a line feed, room for `limit`
    // and a "\r\n": the text so far comes back then, invalid UTF-8 replaced, longer than that.
    // On a console the rest of that line is then read up to its end and thrown away, where the
    // shell would otherwise read it as a command.
    virtual std::expected<std::string, std::string> read_line(std::size_t limit) = 0;
};

}  // namespace corvel
