#pragma once

// The recognition parameter strings the recognizer hands to the speech SDK,
// spelled out once for the tests that drive or check the SDK with them.
namespace SpeechParams {
constexpr char MAN[] = "sub = iat, domain = iat, language = zh_cn, accent = mandarin, "
                       "sample_rate = 16000, result_type = plain, result_encoding = utf-8";
constexpr char ENG[] = "sub = iat, domain = iat, language = en_us, "
                       "sample_rate = 16000, result_type = plain, result_encoding = utf-8";
constexpr char CAN[] = "sub = iat, domain = iat, language = zh_cn, accent = cantonese, "
                       "sample_rate = 16000, result_type = plain, result_encoding = utf-8";
} // namespace SpeechParams
