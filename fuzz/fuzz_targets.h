// Entry points that take what strangers send. Each *_fuzz.cpp defines one; built
// with -DQVAD_FUZZ_MAIN it is a libFuzzer target, otherwise the unit tests replay the
// kept inputs in fuzz/corpus/<name>/ through it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvad::fuzz {

/// A reply body through the request manager's completion logic, for both result types.
void replyBody(const std::uint8_t* data, std::size_t size);
/// A page URL through the query parser, and each value back through the encoder.
void pageURL(const std::uint8_t* data, std::size_t size);
/// A page message through decoding, routing and the built-in actions, posted and prompted.
void pageMessage(const std::uint8_t* data, std::size_t size);
/// A file through the GIF scan and the compositor, every frame, twice.
void gifDecode(const std::uint8_t* data, std::size_t size);
/// A URL through the container's page options, and its values through the integer reader.
void pageOptions(const std::uint8_t* data, std::size_t size);
/// A navigation (first byte: kind and the opener's answer; then the URL) through the policy.
void navigation(const std::uint8_t* data, std::size_t size);
/// A reply text through the escaper and the message-reply script, read back as the page would.
void replyScript(const std::uint8_t* data, std::size_t size);
/// A defaults file's text through its reader, then written and read again.
void defaultsFile(const std::uint8_t* data, std::size_t size);
/// An identifier file's text through its reader, then written and read again.
void identifierFile(const std::uint8_t* data, std::size_t size);
/// A request target through the sandbox's query reader and request verifier.
void requestVerifier(const std::uint8_t* data, std::size_t size);

}  // namespace qvad::fuzz

#ifdef QVAD_FUZZ_MAIN
#define QVAD_FUZZ_ENTRY(fn)                                                      \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    fn(data, size);                                                              \
    return 0;                                                                    \
  }
#else
#define QVAD_FUZZ_ENTRY(fn)
#endif
