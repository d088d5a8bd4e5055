#include "media/PortAudioDevice.h"

#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace media {

// One reference on the library; PortAudio counts initialisations itself.
struct PortAudioDevice::Session {
    bool ok = Pa_Initialize() == paNoError;
    ~Session() {
        if (ok) Pa_Terminate();
    }
};

void PortAudioDevice::StreamCloser::operator()(void* s) const {
    Pa_AbortStream(s);
    Pa_CloseStream(s);
}

PortAudioDevice::PortAudioDevice() = default;

PortAudioDevice::~PortAudioDevice() {
    shutDown();
}

namespace {

PaSampleFormat sampleFormat(int bits) {
    switch (bits) {
    case 8:
        return paUInt8;
    case 24:
        return paInt24;
    case 32:
        return paInt32;
    default:
        return paInt16;
    }
}

} // namespace

bool PortAudioDevice::openStream(SoundDirection direction, const SoundFormat& format) {
    auto s = std::make_unique<Session>();
    if (!s->ok) return false;
    const bool play = direction == SoundDirection::Playback;
    PaStreamParameters p{};
    p.device = play ? Pa_GetDefaultOutputDevice() : Pa_GetDefaultInputDevice();
    if (p.device == paNoDevice) return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(p.device);
    if (info == nullptr) return false;
    p.channelCount = format.channels;
    p.sampleFormat = sampleFormat(format.bitsPerSample);
    p.suggestedLatency = play ? info->defaultLowOutputLatency : info->defaultLowInputLatency;
    PaStream* raw = nullptr;
    if (Pa_OpenStream(&raw, play ? nullptr : &p, play ? &p : nullptr, format.sampleRate,
                      paFramesPerBufferUnspecified, paNoFlag, nullptr, nullptr) != paNoError)
        return false;
    std::unique_ptr<void, StreamCloser> opened(raw);
    if (Pa_StartStream(raw) != paNoError) return false;
    session = std::move(s);
    stream = std::move(opened);
    return true;
}

size_t PortAudioDevice::transfer(char* data, size_t bytes) {
    const SoundFormat& f = format();
    const size_t align = static_cast<size_t>(f.blockAlign());
    // Pieces of about 10 ms, so that a reset does not wait for a long buffer to finish.
    const size_t piece = std::max<size_t>(1, static_cast<size_t>(f.sampleRate) / 100);
    const bool play = direction() == SoundDirection::Playback;
    size_t frames = bytes / align;
    size_t done = 0;
    while (frames > 0 && !interrupted()) {
        const size_t n = std::min(frames, piece);
        const PaError e = play ? Pa_WriteStream(stream.get(), data + done, n)
                               : Pa_ReadStream(stream.get(), data + done, n);
        // An underflow or overflow is a glitch, not a failure; anything else means the device
        // went away: keep real-time pace so the owner does not spin on failing buffers.
        if (e != paNoError && e != paOutputUnderflowed && e != paInputOverflowed) {
            std::this_thread::sleep_for(
                std::chrono::microseconds(static_cast<int64_t>(frames) * 1000000 / f.sampleRate));
            if (!play) std::fill(data + done, data + bytes, f.bitsPerSample == 8 ? 0x80 : 0);
            return bytes;
        }
        done += n * align;
        frames -= n;
    }
    return done;
}

void PortAudioDevice::closeStream() {
    stream.reset();
    session.reset();
}

} // namespace media
