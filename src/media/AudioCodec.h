#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace media {

// IMA ADPCM codec state: the predictor and step index before the next sample.
struct AdpcmState {
    int16_t predictor = 0;
    uint8_t index = 0;
};

// Largest PCM chunk one ADPCM frame can describe: its word count N is a single byte.
constexpr size_t kAdpcmMaxPcmBytes = 1920;

// ADPCM frame (00 01 N 00, predictor LE, index, 0, code nibbles high first) -> 16-bit PCM.
// Loads the state from the frame header and leaves it after the last sample. A frame that is
// short, claims more bytes than it has, or carries an impossible state decodes to nothing.
std::string DecodeAdpcm(std::string_view frame, AdpcmState& state);

// 16-bit PCM, a multiple of 160 bytes up to kAdpcmMaxPcmBytes -> one ADPCM frame; anything
// else gives an empty result. The state carries over to the next call.
std::string EncodeAdpcm(std::string_view pcm, AdpcmState& state);

// G.711 A-law bytes -> 16-bit PCM; each code decodes to the lower edge of its interval.
std::string DecodeALaw(std::string_view codes);

// 16-bit PCM -> G.711 A-law bytes; an odd length gives an empty result.
std::string EncodeALaw(std::string_view pcm);

} // namespace media
