// Save messages as the page could post them: any JSON text, then any bytes as
// the Base64 payload, checked against a plain encoder.

#include "bridge/Base64.h"
#include "bridge/SaveHandler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string encode(std::string_view bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k)
      v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += n > 1 ? alphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? alphabet[v & 63] : '=';
  }
  return out;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  nlohmann::json body = nlohmann::json::parse(input.begin(), input.end(), nullptr, false);
  if (!body.is_discarded()) {
    std::optional<SaveRequest> request = saveRequestFromBody(body);
    if (request && (request->name.find('/') != std::string::npos || request->name == "." ||
                    request->name == ".."))
      std::abort();
  }

  // The input as the payload text: whatever decodes has the length the
  // symbols carry, and the message decodes to the same bytes.
  std::optional<std::string> decoded = decodeBase64(input);
  if (decoded) {
    std::size_t symbols = 0, padding = 0;
    for (char c : input) {
      if (!isSpace(c))
        ++symbols;
      if (c == '=')
        ++padding;
    }
    if (symbols % 4 != 0 || padding > 2 || decoded->size() != symbols / 4 * 3 - padding)
      std::abort();
  }
  std::optional<SaveRequest> viaMessage =
      saveRequestFromBody(nlohmann::json{{"name", "x"}, {"data", std::string(input)}});
  if (viaMessage.has_value() != decoded.has_value() || (decoded && viaMessage->bytes != *decoded))
    std::abort();

  // The input as the file's bytes: encoded, wrapped with whitespace chosen by
  // the bytes themselves, it must come back exactly.
  std::string encoded = encode(input);
  std::string wrapped;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    wrapped += encoded[i];
    unsigned char pick = i < size ? data[i] : 0;
    if (pick % 5 == 0)
      wrapped += " \t\n\v\f\r"[pick % 6];
  }
  std::optional<std::string> back = decodeBase64(wrapped);
  if (!back || *back != input)
    std::abort();
  return 0;
}
