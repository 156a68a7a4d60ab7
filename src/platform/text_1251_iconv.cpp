// iconv-based conversion. A fresh descriptor per call keeps it thread-safe;
// texts here are a few dozen bytes, so the cost does not matter.
#include <iconv.h>

#include <cerrno>

#include "platform/text_1251.h"

namespace platform {
namespace {

// Converts `text`; an input sequence iconv cannot take is replaced by
// `replacement` and skipped by `skipBytes`(first byte of the sequence) bytes.
std::string Convert(const char* to, const char* from, std::string_view text,
                    std::string_view replacement) {
  std::string out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  out.reserve(text.size() * 2);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: one unconvertible or cut-off sequence. Skip one
      // input character: a whole UTF-8 sequence, or one byte otherwise.
      size_t skip = 1;
      const auto lead = static_cast<unsigned char>(*in);
      if (std::string_view(from) == "UTF-8") {
        skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        for (size_t i = 1; i < skip && i < inLeft; ++i) {
          if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) {
            skip = i;
            break;
          }
        }
        if (skip > inLeft) skip = inLeft;
      }
      in += skip;
      inLeft -= skip;
      out.append(replacement);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8From1251(std::string_view text) {
  return Convert("UTF-8", "CP1251", text, "\xEF\xBF\xBD");
}

std::string Utf8To1251(std::string_view text) { return Convert("CP1251", "UTF-8", text, "?"); }

}  // namespace platform
