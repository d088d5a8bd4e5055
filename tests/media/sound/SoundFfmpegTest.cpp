// External truth for the sound codecs: FFmpeg's IMA ADPCM and A-law codecs, the ffmpeg tool
// decoding our AAC, and ffprobe reading the WAV files of tavrina-rtpdump --wav.

#include <gtest/gtest.h>

#include "support/RunCommand.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "PacketFixture.h"
#include "media/AudioCodec.h"
#include "media/AvHandles.h"
#include "media/FaacCode.h"
#include "sound/SoundSignals.h"

namespace fs = std::filesystem;
using namespace tavrina_test;

namespace {

using Context = media::AvCodecContextPtr;

Context openCodec(const AVCodec* codec, int blockAlign = 0) {
    Context c(avcodec_alloc_context3(codec));
    if (!c) return c;
    c->sample_rate = 8000;
    av_channel_layout_default(&c->ch_layout, 1);
    c->block_align = blockAlign;
    c->bits_per_coded_sample = 4;
    c->sample_fmt = AV_SAMPLE_FMT_S16;
    if (avcodec_open2(c.get(), codec, nullptr) < 0) c.reset();
    return c;
}

// One packet through an FFmpeg decoder, as 16-bit samples.
// Bytes through an FFmpeg decoder, one packet per block (or one packet for all), as 16-bit
// samples; one decoder for the whole run, so state carries from block to block.
std::vector<int16_t> ffDecode(const char* name, const std::string& bytes, int blockAlign = 0) {
    Context c = openCodec(avcodec_find_decoder_by_name(name), blockAlign);
    media::AvPacketPtr pkt(av_packet_alloc());
    media::AvFramePtr frame(av_frame_alloc());
    std::vector<int16_t> out;
    if (!c || !pkt || !frame) return out;
    const size_t per = blockAlign > 0 ? static_cast<size_t>(blockAlign) : bytes.size();
    for (size_t at = 0; at < bytes.size(); at += per) {
        const size_t n = std::min(per, bytes.size() - at);
        if (av_new_packet(pkt.get(), static_cast<int>(n)) < 0) return {};
        std::copy_n(bytes.begin() + at, n, pkt->data);
        const int sent = avcodec_send_packet(c.get(), pkt.get());
        av_packet_unref(pkt.get());
        if (sent < 0) return {};
        while (avcodec_receive_frame(c.get(), frame.get()) >= 0) {
            if (frame->format == AV_SAMPLE_FMT_S16 || frame->format == AV_SAMPLE_FMT_S16P) {
                const auto* s = reinterpret_cast<const int16_t*>(frame->data[0]);
                out.insert(out.end(), s, s + frame->nb_samples);
            }
            av_frame_unref(frame.get());
        }
    }
    return out;
}

// Samples through an FFmpeg encoder, one packet per frame of the encoder's size (all of them
// at once when it takes any size); a tail short of a frame is left out.
std::vector<std::string> ffEncode(const char* name, const std::vector<int16_t>& samples) {
    Context c = openCodec(avcodec_find_encoder_by_name(name));
    media::AvPacketPtr pkt(av_packet_alloc());
    media::AvFramePtr frame(av_frame_alloc());
    std::vector<std::string> out;
    if (!c || !pkt || !frame) return out;
    const size_t per = c->frame_size > 0 ? static_cast<size_t>(c->frame_size) : samples.size();
    for (size_t at = 0; at + per <= samples.size(); at += per) {
        av_frame_unref(frame.get());
        frame->nb_samples = static_cast<int>(per);
        frame->format = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&frame->ch_layout, 1);
        if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
        std::copy(samples.begin() + at, samples.begin() + at + per,
                  reinterpret_cast<int16_t*>(frame->data[0]));
        if (avcodec_send_frame(c.get(), frame.get()) < 0) return {};
        while (avcodec_receive_packet(c.get(), pkt.get()) >= 0) {
            out.emplace_back(reinterpret_cast<const char*>(pkt->data), pkt->size);
            av_packet_unref(pkt.get());
        }
    }
    return out;
}

const auto run = [](const std::string& command) { return tavrina_test::runCommand(command); };

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sound-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

// A QuickTime IMA ADPCM block (FFmpeg's decoder for it expands nibbles exactly as the IMA
// algorithm does): the state as a big-endian word, predictor in the top 9 bits and step index
// in the low 7, then 32 code bytes with the low nibble first.
std::string qtBlock(const media::AdpcmState& st, std::string_view codes) {
    const auto head =
        static_cast<uint16_t>((static_cast<uint16_t>(st.predictor) & 0xFF80) | st.index);
    std::string block{static_cast<char>(head >> 8), static_cast<char>(head & 0xFF)};
    for (const char c : codes) {
        const auto b = static_cast<uint8_t>(c);
        block.push_back(static_cast<char>((b << 4) | (b >> 4)));
    }
    return block;
}

std::string withCodes(const media::AdpcmState& st, std::string_view codes) {
    const auto p = static_cast<uint16_t>(st.predictor);
    std::string f{'\x00',
                  '\x01',
                  static_cast<char>(2 + codes.size() / 2),
                  '\x00',
                  static_cast<char>(p & 0xFF),
                  static_cast<char>(p >> 8),
                  static_cast<char>(st.index),
                  '\x00'};
    return f + std::string(codes);
}

} // namespace

TEST(SoundVsFfmpeg, AdpcmDecodesLikeFfmpeg) {
    // A second of speech through our encoder, decoded as one stream: FFmpeg carries its own
    // state from block to block as long as each block's (coarser) header agrees with it.
    const auto speech = speechLike(8000);
    media::AdpcmState enc, dec;
    std::string qt;
    std::vector<int16_t> ours;
    for (size_t at = 0; at + 320 <= speech.size(); at += 320) {
        const std::string frame =
            media::EncodeAdpcm(pcmBytes({speech.begin() + at, speech.begin() + at + 320}), enc);
        ASSERT_EQ(frame.size(), 168u);
        const auto part = pcmSamples(media::DecodeAdpcm(frame, dec));
        ours.insert(ours.end(), part.begin(), part.end());
        const std::string_view codes = std::string_view(frame).substr(8);
        media::AdpcmState head{static_cast<int16_t>(pcmSamples(frame.substr(4, 2))[0]),
                               static_cast<uint8_t>(frame[6])};
        for (size_t b = 0; b < codes.size(); b += 32) {
            // The state at this block: what our decoder holds after the codes before it.
            media::AdpcmState st;
            media::DecodeAdpcm(withCodes(head, codes.substr(0, b)), st);
            if (b == 0) st = head;
            qt += qtBlock(st, codes.substr(b, 32));
        }
    }
    const auto theirs = ffDecode("adpcm_ima_qt", qt, 34);
    ASSERT_EQ(theirs.size(), ours.size());
    EXPECT_EQ(theirs, ours);

    // Random codes from random states (predictors FFmpeg's header can hold), clamping included.
    std::mt19937 random(26);
    for (int i = 0; i < 300; ++i) {
        media::AdpcmState st{static_cast<int16_t>(random() & 0xFF80),
                             static_cast<uint8_t>(random() % 89)};
        std::string codes;
        for (int j = 0; j < 32; ++j)
            codes.push_back(static_cast<char>(random()));
        media::AdpcmState d;
        const auto mine = pcmSamples(media::DecodeAdpcm(withCodes(st, codes), d));
        ASSERT_EQ(mine.size(), 64u);
        EXPECT_EQ(ffDecode("adpcm_ima_qt", qtBlock(st, codes), 34), mine) << "case " << i;
    }
}

// Our encoder against FFmpeg's IMA ADPCM encoder on the same signals: as close to the input
// as the usual encoder gets.
TEST(SoundVsFfmpeg, AdpcmSignalToNoiseMatchesFfmpegsEncoder) {
    const std::pair<const char*, std::vector<int16_t>> signals[] = {
        {"1 kHz tone", tone(1000, 12000, 8000)},
        {"speech-like", speechLike(8000)},
    };
    for (const auto& [what, signal] : signals) {
        std::vector<int16_t> theirs;
        for (const std::string& block : ffEncode("adpcm_ima_wav", signal)) {
            const auto part = ffDecode("adpcm_ima_wav", block, static_cast<int>(block.size()));
            theirs.insert(theirs.end(), part.begin(), part.end());
        }
        ASSERT_GT(theirs.size(), 4000u) << what;
        std::vector<int16_t> ours;
        media::AdpcmState enc, dec;
        for (size_t at = 0; at + 160 <= signal.size(); at += 160) {
            const auto part = pcmSamples(media::DecodeAdpcm(
                media::EncodeAdpcm(pcmBytes({signal.begin() + at, signal.begin() + at + 160}), enc),
                dec));
            ours.insert(ours.end(), part.begin(), part.end());
        }
        // Both from 40 ms in, once the step has adapted, over the same stretch.
        const std::vector<int16_t> ref(signal.begin() + 320, signal.begin() + theirs.size());
        const double ourDb = snrDb(ref, {ours.begin() + 320, ours.begin() + theirs.size()});
        const double theirDb = snrDb(ref, {theirs.begin() + 320, theirs.end()});
        std::printf("%s: IMA ADPCM SNR ours %.1f dB, FFmpeg's %.1f dB\n", what, ourDb, theirDb);
        EXPECT_GT(ourDb, theirDb - 1.5) << what;
    }
}

TEST(SoundVsFfmpeg, ALawDecodeIsFfmpegLessTheHalfStep) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    const auto ours = pcmSamples(media::DecodeALaw(all));
    const auto theirs = ffDecode("pcm_alaw", all);
    ASSERT_EQ(theirs.size(), 256u);
    for (int c = 0; c < 256; ++c) {
        const int segment = ((c ^ 0xD5) & 0x70) >> 4;
        const int halfStep = segment == 0 ? 8 : 8 << (segment - 1);
        // G.711 reconstructs at the middle of the interval, away from zero.
        EXPECT_EQ(std::abs(theirs[c]) - std::abs(ours[c]), halfStep) << c;
        EXPECT_EQ(theirs[c] < 0, (c ^ 0xD5) & 0x80 ? true : false) << c;
    }
}

// Both encoders pick the same code except next to interval edges, and then only a neighbouring
// one. Ours (the G.711 reference rule) puts each input in the interval that contains it. FFmpeg
// picks the nearest reconstruction level, which differs just above each segment edge, where
// the intervals double in width (a quarter of the lower interval's width, on either sign);
// and it drops the two lowest bits of the sample first, rounding negative samples down, which
// moves the edges of the negative side by up to three.
TEST(SoundVsFfmpeg, ALawEncoderAgainstFfmpegOverEveryInput) {
    std::vector<int16_t> every(65536);
    for (int i = 0; i < 65536; ++i)
        every[i] = static_cast<int16_t>(i - 32768);
    const std::string ours = media::EncodeALaw(pcmBytes(every));
    const std::vector<std::string> packets = ffEncode("pcm_alaw", every);
    ASSERT_EQ(packets.size(), 1u);
    const std::string& theirs = packets[0];
    ASSERT_EQ(ours.size(), 65536u);
    ASSERT_EQ(theirs.size(), 65536u);
    const auto decodedOurs = pcmSamples(media::DecodeALaw(ours));
    const auto decodedTheirs = pcmSamples(media::DecodeALaw(theirs));
    size_t differ = 0;
    for (int i = 0; i < 65536; ++i) {
        if (ours[i] == theirs[i]) continue;
        ++differ;
        const int a = decodedOurs[i], b = decodedTheirs[i];
        const int segment =
            std::max(((ours[i] ^ 0xD5) & 0x70) >> 4, ((theirs[i] ^ 0xD5) & 0x70) >> 4);
        const int step = segment == 0 ? 16 : 16 << (segment - 1);
        EXPECT_LE(std::abs(a - b), step) << every[i];
        if (every[i] >= 0) {
            bool nearEdge = false;
            for (int k = 2; k <= 7; ++k) {
                const int edge = 256 << (k - 1), lowerWidth = 16 << (k - 2);
                nearEdge = nearEdge || (every[i] >= edge && every[i] < edge + lowerWidth / 4);
            }
            EXPECT_TRUE(nearEdge) << every[i];
        }
    }
    RecordProperty("differing_inputs", static_cast<int>(differ));
    std::printf("A-law codes differing from FFmpeg's encoder: %zu of 65536\n", differ);
    EXPECT_LT(differ, 65536u / 4);
}

namespace {

// The ADTS header of one raw AAC-LC frame, 8000 Hz mono, written here independently of ours.
std::string adtsHeader(size_t frameBytes) {
    const size_t len = frameBytes + 7;
    const int rateIndex = 11, channels = 1;
    const unsigned char h[7] = {0xFF,
                                0xF1,
                                static_cast<unsigned char>(0x40 | (rateIndex << 2)),
                                static_cast<unsigned char>((channels << 6) | (len >> 11)),
                                static_cast<unsigned char>(len >> 3),
                                static_cast<unsigned char>(((len & 7) << 5) | 0x1F),
                                0xFC};
    return {reinterpret_cast<const char*>(h), 7};
}

// Decodes an ADTS stream with the ffmpeg tool and checks it is 10 s of the 1 kHz tone.
void expectTone(const fs::path& file, double amplitude) {
    const fs::path raw = file.string() + ".raw";
    const tavrina_test::CommandResult r = run("ffmpeg -nostdin -v error -i " + file.string() +
                                              " -f s16le -ac 1 -ar 8000 " + raw.string());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, ""); // not a single complaint
    const auto decoded = pcmSamples(readFile(raw));
    EXPECT_LE(std::abs(static_cast<long>(decoded.size()) - 80000), 1024L) << decoded.size();

    // The middle second: the level within 1 dB, and all of it at 1 kHz.
    ASSERT_GT(decoded.size(), 48000u);
    const std::vector<int16_t> mid(decoded.begin() + 40000, decoded.begin() + 48000);
    double energy = 0, re = 0, im = 0;
    for (size_t i = 0; i < mid.size(); ++i) {
        energy += double(mid[i]) * mid[i];
        re += mid[i] * std::cos(2 * M_PI * 1000 * i / 8000.0);
        im += mid[i] * std::sin(2 * M_PI * 1000 * i / 8000.0);
    }
    const double rms = std::sqrt(energy / mid.size());
    EXPECT_NEAR(20 * std::log10(rms / (amplitude / std::sqrt(2.0))), 0.0, 1.0);
    const double atTone = 2 * (re * re + im * im) / mid.size();
    EXPECT_GT(atTone / energy, 0.99);
}

} // namespace

TEST_F(TempDir, AacToneComesBackThroughFfmpeg) {
    const double amplitude = 10000;
    const std::string pcm = pcmBytes(tone(1000, amplitude, 80000));

    // Raw frames, one per call in 320-byte chunks, wrapped here; two frames of quiet at the
    // end push the last of the tone out of the encoder's delay.
    media::FaacCode aac;
    ASSERT_TRUE(aac.Init(8000, 1, 16, false));
    const std::string padded = pcm + std::string(2 * 2048 + 2048 - pcm.size() % 2048, '\0');
    std::string stream, out;
    double ms = 0, totalMs = 0;
    for (size_t at = 0; at < padded.size(); at += 320) {
        ASSERT_TRUE(aac.Encode(std::string_view(padded).substr(at, 320), out, ms));
        ASSERT_TRUE(out.empty() || ms == 128.0);
        if (!out.empty()) stream += adtsHeader(out.size()) + out;
        totalMs += ms;
    }
    EXPECT_NEAR(totalMs, 10000.0, 128.0);
    const fs::path rawFrames = dir / "raw-wrapped.aac";
    std::ofstream(rawFrames, std::ios::binary) << stream;
    expectTone(rawFrames, amplitude);

    // The encoder's own ADTS output, ended by a flush.
    media::FaacCode withAdts;
    ASSERT_TRUE(withAdts.Init(8000, 1, 16, true));
    stream.clear();
    for (size_t at = 0; at < pcm.size(); at += 320) {
        ASSERT_TRUE(withAdts.Encode(std::string_view(pcm).substr(at, 320), out, ms));
        stream += out;
    }
    ASSERT_TRUE(withAdts.Encode({}, out, ms));
    stream += out;
    const fs::path adtsFile = dir / "flushed.aac";
    std::ofstream(adtsFile, std::ios::binary) << stream;
    expectTone(adtsFile, amplitude);
}

namespace {

const std::string kTool = TAVRINA_RTPDUMP;
const std::string kCapture = std::string(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp";

struct Wav {
    std::string codec;
    int rate = 0, channels = 0;
    std::vector<int16_t> samples;
};

Wav probeWav(const fs::path& file) {
    Wav w;
    const tavrina_test::CommandResult probe =
        run("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels "
            "-of csv=p=0 " +
            file.string());
    char codec[32] = {};
    if (std::sscanf(probe.out.c_str(), "%31[^,],%d,%d", codec, &w.rate, &w.channels) == 3)
        w.codec = codec;
    const std::string bytes = readFile(file);
    if (bytes.size() >= 44) w.samples = pcmSamples(bytes.substr(44));
    return w;
}

} // namespace

TEST_F(TempDir, WavOfARealTerminalsALawAudio) {
    if (!fs::exists(kCapture)) GTEST_SKIP() << "shared test data not found: " << kCapture;
    const fs::path wav = dir / "capture.wav";
    const tavrina_test::CommandResult r = run(kTool + " --wav " + wav.string() + " " + kCapture);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("wav_frames=151 wav_samples=30200"), std::string::npos) << r.out;
    const Wav w = probeWav(wav);
    EXPECT_EQ(w.codec, "pcm_s16le");
    EXPECT_EQ(w.rate, 8000);
    EXPECT_EQ(w.channels, 1);
    ASSERT_EQ(w.samples.size(), 30200u);
    // The terminal's quiet background: mostly the zero level, but sound of both signs, and
    // A-law levels only.
    const auto [low, high] = std::minmax_element(w.samples.begin(), w.samples.end());
    EXPECT_LE(*low, -64);
    EXPECT_GE(*high, 64);
    EXPECT_EQ(media::DecodeALaw(media::EncodeALaw(pcmBytes(w.samples))), pcmBytes(w.samples));
}

TEST_F(TempDir, WavOfAdpcmAndALawInOrder) {
    // Two channels' ADPCM interleaved with A-law, audio of another payload type, and video.
    media::AdpcmState enc1, enc2;
    const auto voice = speechLike(640);
    const std::string a1 = media::EncodeAdpcm(pcmBytes({voice.begin(), voice.begin() + 320}), enc1);
    const std::string b1 = media::EncodeAdpcm(pcmBytes({voice.begin() + 320, voice.end()}), enc2);
    const std::string a2 = media::EncodeAdpcm(pcmBytes({voice.begin() + 320, voice.end()}), enc1);
    const std::string alaw = media::EncodeALaw(pcmBytes({voice.begin(), voice.begin() + 100}));
    struct Item {
        uint8_t channel, pt, dataType;
        std::string body;
    };
    const Item items[] = {{1, media::kPtAdpcm, media::kAudio, a1},
                          {2, media::kPtAdpcm, media::kAudio, b1},
                          {1, media::kPtH264, media::kVideoI, std::string("\0\0\0\1\x65", 5)},
                          {1, 7, media::kAudio, "not decoded"},
                          {3, media::kPtG711A, media::kAudio, alaw},
                          {1, media::kPtAdpcm, media::kAudio, a2}};
    std::string capture, expected;
    uint16_t seq = 0;
    for (const Item& it : items) {
        RawPacket p;
        p.channel = it.channel;
        p.PT = it.pt;
        p.dataType = it.dataType;
        p.seq = seq++;
        p.body = it.body;
        capture += p.bytes();
    }
    media::AdpcmState st;
    expected = media::DecodeAdpcm(a1, st) + media::DecodeAdpcm(b1, st) + media::DecodeALaw(alaw) +
               media::DecodeAdpcm(a2, st);

    const fs::path in = dir / "mixed.rtp";
    std::ofstream(in, std::ios::binary) << capture;
    const fs::path wav = dir / "mixed.wav";
    const tavrina_test::CommandResult r = run(kTool + " --wav " + wav.string() + " " + in.string());
    ASSERT_EQ(r.status, 0) << r.out;
    const Wav w = probeWav(wav);
    EXPECT_EQ(w.codec, "pcm_s16le");
    EXPECT_EQ(pcmBytes(w.samples), expected);

    const tavrina_test::CommandResult bad =
        run(kTool + " --wav " + (dir / "no" / "such.wav").string() + " " + in.string());
    EXPECT_EQ(bad.status, 1);
}
