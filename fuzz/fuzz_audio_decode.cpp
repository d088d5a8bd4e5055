// Arbitrary bytes as terminal audio frames: decoding never reads out of range, the output
// length follows from the input, and the ADPCM state stays inside its table.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "media/AudioCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (media::DecodeALaw(bytes).size() != 2 * size) std::abort();

    media::AdpcmState state{-1234, 50};
    const std::string pcm = media::DecodeAdpcm(bytes, state);
    if (!pcm.empty()) {
        const size_t words = data[2];
        if (pcm.size() != 4 * (2 * words - 4) || state.index > 88) std::abort();
    }

    // What decodes must encode again: both encoders take any PCM of a valid length.
    const std::string alaw = media::EncodeALaw(pcm);
    if (alaw.size() != pcm.size() / 2) std::abort();
    if (pcm.size() % 160 == 0 && pcm.size() <= media::kAdpcmMaxPcmBytes && !pcm.empty()) {
        media::AdpcmState enc = state;
        if (media::EncodeAdpcm(pcm, enc).size() != 8 + pcm.size() / 4) std::abort();
    }
    return 0;
}
