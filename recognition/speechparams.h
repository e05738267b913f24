#pragma once

// The recognition parameter strings handed to the speech SDK for a session, one
// per language the recognizer tells apart.
namespace SpeechParams {

constexpr char MAN[] = "sub = iat, domain = iat, language = zh_cn, accent = mandarin, "
                       "sample_rate = 16000, result_type = plain, result_encoding = utf-8";
constexpr char ENG[] = "sub = iat, domain = iat, language = en_us, "
                       "sample_rate = 16000, result_type = plain, result_encoding = utf-8";
constexpr char CAN[] = "sub = iat, domain = iat, language = zh_cn, accent = cantonese, "
                       "sample_rate = 16000, result_type = plain, result_encoding = utf-8";

} // namespace SpeechParams
