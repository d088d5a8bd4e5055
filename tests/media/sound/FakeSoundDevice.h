#pragma once

#include <deque>
#include <memory>
#include <string>

#include "media/SoundDevice.h"

namespace tavrina_test {

// What a scripted device saw and what it will do; shared between the test and the device the
// wrapper creates through its factory.
struct FakeSoundScript {
    bool failOpen = false;
    bool refuseQueue = false;
    // Bytes a capture buffer receives, repeated as needed.
    std::string captureSound = "\x01\x02";

    struct Queued {
        int buffer;
        char* data;
        size_t bytes;
    };
    int opens = 0, resets = 0, closes = 0;
    media::SoundDirection direction = media::SoundDirection::Playback;
    media::SoundFormat format;
    media::SoundDevice::Completion done;
    std::deque<Queued> queued;
    std::string played; // every completed playback buffer, in order

    // Finishes the oldest queued buffer on the caller's thread, as the device thread would.
    bool completeNext() {
        if (queued.empty() || !done) return false;
        const Queued q = queued.front();
        queued.pop_front();
        if (direction == media::SoundDirection::Playback) {
            played.append(q.data, q.bytes);
        } else {
            for (size_t i = 0; i < q.bytes; ++i)
                q.data[i] = captureSound[i % captureSound.size()];
        }
        done(q.buffer, q.bytes);
        return true;
    }
};

class FakeSoundDevice : public media::SoundDevice {
public:
    explicit FakeSoundDevice(std::shared_ptr<FakeSoundScript> s) : script(std::move(s)) {}

    bool open(media::SoundDirection direction, const media::SoundFormat& format,
              Completion done) override {
        ++script->opens;
        if (script->failOpen) return false;
        script->direction = direction;
        script->format = format;
        script->done = std::move(done);
        return true;
    }
    bool queue(int buffer, char* data, size_t bytes) override {
        if (script->refuseQueue || !script->done) return false;
        script->queued.push_back({buffer, data, bytes});
        return true;
    }
    void reset() override {
        ++script->resets;
        script->queued.clear();
    }
    void close() override {
        ++script->closes;
        script->queued.clear();
        script->done = nullptr;
    }

    static media::SoundDeviceFactory factory(std::shared_ptr<FakeSoundScript> s) {
        return [s] { return std::make_unique<FakeSoundDevice>(s); };
    }

private:
    std::shared_ptr<FakeSoundScript> script;
};

} // namespace tavrina_test
