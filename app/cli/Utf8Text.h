// Bytes of unknown origin (an image file's header, a path typed by the
// user, a device's answer) made safe for what reads them: a JSON text must
// be valid UTF-8, and a terminal must receive no control bytes from a file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The length of the well-formed UTF-8 sequence at the start of `text`
// (1 to 4 bytes; overlong forms, surrogates and code points beyond U+10FFFF
// are not well formed), or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text);

// `text` with each byte that starts no well-formed sequence replaced by
// U+FFFD, the replacement character; well-formed text passes unchanged.
std::string ValidUtf8(std::string_view text);

// At most `limit` bytes of `bytes` as printable ASCII: any other byte shows
// as '?', and a longer text ends in "..." so that it is seen to be cut.
std::string PrintableAscii(std::string_view bytes, std::size_t limit);
