#include "media/RTP1078Exp.h"

#include <gtest/gtest.h>

#include <random>

#include "PacketFixture.h"

using media::RTP1078Exp;
using media::RTP_data;
using media::RTPmeta;
using tavrina_test::RawPacket;
using tavrina_test::Recorder;

namespace {

// Three packets of different layouts with junk before, between and after, and a body that
// itself holds a frame header.
std::string mixedStream() {
    RawPacket video{.dataType = media::kVideoI, .body = "video-01cd\x81-body", .seq = 7};
    video.timestamp = 0x01020304;
    video.lastIInterval = 0x1122;
    video.lastFrameInterval = 0x3344;
    RawPacket audio{.dataType = media::kAudio, .body = std::string(168, 'a'), .PT = 6, .seq = 8};
    audio.timestamp = 99;
    RawPacket data{.dataType = media::kTransparent, .body = "ctl", .PT = 127, .seq = 9};
    return "junk\x81" + video.bytes() + "xx" + audio.bytes() + std::string(40, '\x55') +
           data.bytes() + "tail";
}

Recorder feedWhole(std::string_view stream) {
    RTP1078Exp exp;
    Recorder rec;
    rec.attach(exp);
    exp.Feed(stream);
    return rec;
}

void expectSame(const Recorder& a, const Recorder& b) {
    ASSERT_EQ(a.frames.size(), b.frames.size());
    ASSERT_EQ(a.packets.size(), b.packets.size());
    for (size_t i = 0; i < a.frames.size(); ++i)
        EXPECT_TRUE(tavrina_test::sameRecord(a.frames[i], b.frames[i])) << "frame " << i;
    for (size_t i = 0; i < a.packets.size(); ++i)
        EXPECT_TRUE(tavrina_test::sameRecord(a.packets[i], b.packets[i])) << "packet " << i;
}

} // namespace

TEST(RTP1078Exp, FindsEveryLayoutAmongJunk) {
    const Recorder rec = feedWhole(mixedStream());
    ASSERT_EQ(rec.packets.size(), 3u);
    ASSERT_EQ(rec.frames.size(), 3u);

    const RTPmeta& v = rec.packets[0].meta;
    EXPECT_EQ(v.M, 1);
    EXPECT_EQ(v.PT, 98);
    EXPECT_EQ(v.seq, 7);
    EXPECT_EQ(v.simch.sim, "01391234567890123456");
    EXPECT_EQ(v.simch.channel, 1);
    EXPECT_EQ(v.timestamp, 0x01020304u);
    EXPECT_EQ(v.lastIInterval, 0x1122);
    EXPECT_EQ(v.lastFrameInterval, 0x3344);
    EXPECT_EQ(rec.frames[0].data, "video-01cd\x81-body");

    EXPECT_EQ(rec.packets[1].meta.timestamp, 99u);
    EXPECT_EQ(rec.packets[1].meta.lastIInterval, 0);
    EXPECT_EQ(rec.frames[1].data, std::string(168, 'a'));
    EXPECT_EQ(rec.packets[2].meta.timestamp, 0u);
    EXPECT_EQ(rec.frames[2].data, "ctl");

    // The packet consumer sees the bytes exactly as received.
    EXPECT_EQ(rec.packets[1].data.substr(0, 4), "01cd");
    EXPECT_EQ(rec.packets[1].data.size(), 30u + 168u);
    EXPECT_EQ(rec.packets[2].data.size(), 22u + 3u);
}

TEST(RTP1078Exp, BodyOffsetFollowsDataType) {
    struct Case {
        uint8_t dataType;
        size_t bodyOffset;
    };
    for (const Case& c : {Case{0, 34}, Case{1, 34}, Case{2, 34}, Case{3, 30}, Case{4, 22},
                          Case{7, 34}, Case{15, 34}}) {
        RawPacket p{.dataType = c.dataType, .body = "BODY"};
        const std::string bytes = p.bytes();
        ASSERT_EQ(bytes.find("BODY"), c.bodyOffset) << int(c.dataType);
        const Recorder rec = feedWhole(bytes + std::string(4, 'z'));
        ASSERT_EQ(rec.frames.size(), 1u) << int(c.dataType);
        EXPECT_EQ(rec.frames[0].data, "BODY");
        EXPECT_EQ(rec.frames[0].meta.dataType, c.dataType);
    }
}

TEST(RTP1078Exp, ByteAtATimeEqualsWhole) {
    const std::string stream = mixedStream();
    RTP1078Exp exp;
    Recorder rec;
    rec.attach(exp);
    for (char c : stream)
        exp.Feed(std::string_view(&c, 1));
    expectSame(rec, feedWhole(stream));
    EXPECT_LE(exp.pendingBytes(), 4u);
}

TEST(RTP1078Exp, SplitAtEveryPositionEqualsWhole) {
    const std::string stream = mixedStream();
    const Recorder whole = feedWhole(stream);
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        RTP1078Exp exp;
        Recorder rec;
        rec.attach(exp);
        exp.Feed(std::string_view(stream).substr(0, cut));
        exp.Feed(std::string_view(stream).substr(cut));
        SCOPED_TRACE(cut);
        expectSame(rec, whole);
    }
}

TEST(RTP1078Exp, ShortPrefixesAreKeptWhole) {
    const std::string bytes = RawPacket{.body = "x"}.bytes();
    for (size_t n : {3u, 17u, 19u, 33u}) {
        RTP1078Exp exp;
        Recorder rec;
        rec.attach(exp);
        exp.Feed(std::string_view(bytes).substr(0, n));
        EXPECT_TRUE(rec.packets.empty()) << n;
        EXPECT_EQ(exp.pendingBytes(), n);
        exp.Feed(std::string_view(bytes).substr(n));
        EXPECT_EQ(rec.packets.size(), 1u) << n;
        EXPECT_EQ(exp.pendingBytes(), 0u);
    }
}

TEST(RTP1078Exp, RejectedHeadersResynchronise) {
    const std::string good = RawPacket{.body = "good"}.bytes();
    struct Case {
        const char* name;
        std::string bad;
    };
    const Case cases[] = {
        {"0x80 at offset 4", RawPacket{.body = std::string(30, 'q'), .fixed = 0x80}.bytes()},
        {"length 951", RawPacket{.body = std::string(30, 'q'), .lengthField = 951}.bytes()},
        // A bad header straight before a good one: the good one begins 4 bytes on.
        {"bare bad header", "01cd\x80"},
    };
    for (const Case& c : cases) {
        const Recorder rec = feedWhole(c.bad + good + "pad!");
        ASSERT_EQ(rec.frames.size(), 1u) << c.name;
        EXPECT_EQ(rec.frames[0].data, "good") << c.name;
    }
}

TEST(RTP1078Exp, BodyLengthLimitIs950) {
    for (size_t len : {949u, 950u}) {
        const Recorder rec = feedWhole(RawPacket{.body = std::string(len, 'b')}.bytes() + "pad!");
        ASSERT_EQ(rec.frames.size(), 1u) << len;
        EXPECT_EQ(rec.frames[0].data.size(), len);
    }
}

TEST(RTP1078Exp, SimNibblesAboveNinePassThrough) {
    RawPacket p{.body = "s"};
    p.simBcd = std::string("\x01\x39\xAB\xCF\x00\x00\x00\x00\x00\x09", 10);
    const Recorder rec = feedWhole(p.bytes() + "pad!");
    ASSERT_EQ(rec.packets.size(), 1u);
    EXPECT_EQ(rec.packets[0].meta.simch.sim, "0139:;<?000000000009");
}

TEST(RTP1078Exp, BuildPacketsSplitsAt950) {
    struct Case {
        size_t total;
        std::vector<std::pair<uint8_t, size_t>> chunks; // subPacket, length
    };
    const Case cases[] = {
        {0, {{0, 0}}},
        {950, {{0, 950}}},
        {951, {{1, 950}, {2, 1}}},
        {2000, {{1, 950}, {3, 950}, {2, 100}}},
    };
    for (const Case& c : cases) {
        RTPmeta h;
        h.PT = 98;
        h.dataType = media::kVideoP;
        h.simch = {"01391234567890123456", 3};
        h.timestamp = 123456;
        uint16_t seq = 65534;
        const std::string wire = RTP1078Exp::BuildPackets(h, std::string(c.total, 'd'), seq);
        const Recorder rec = feedWhole(wire);
        ASSERT_EQ(rec.packets.size(), c.chunks.size()) << c.total;
        EXPECT_EQ(seq, static_cast<uint16_t>(65534 + c.chunks.size()));
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const RTPmeta& m = rec.packets[i].meta;
            EXPECT_EQ(m.subPacket, c.chunks[i].first);
            EXPECT_EQ(m.length, c.chunks[i].second);
            EXPECT_EQ(m.M, i + 1 == c.chunks.size() ? 1 : 0);
            EXPECT_EQ(m.seq, static_cast<uint16_t>(65534 + i));
        }
        // Fed back, the data comes out as one frame under the header's fields.
        ASSERT_EQ(rec.frames.size(), 1u);
        const RTP_data& f = rec.frames[0];
        EXPECT_EQ(f.data, std::string(c.total, 'd'));
        EXPECT_EQ(f.meta.length, c.total);
        EXPECT_EQ(f.meta.PT, 98);
        EXPECT_EQ(f.meta.dataType, media::kVideoP);
        EXPECT_EQ(f.meta.simch, h.simch);
        EXPECT_EQ(f.meta.timestamp, 123456u);
        EXPECT_EQ(f.meta.subPacket, 0);
    }
}

TEST(RTP1078Exp, ControlPacketWithEmptyKey) {
    uint16_t seq = 5;
    const std::string wire = RTP1078Exp::BuildControlPacket({}, "hi", seq);
    const std::string expected = std::string("01cd\x81\xFF\x00\x05", 8) + std::string(10, '\0') +
                                 std::string("\x00\x40\x00\x02hi", 6);
    EXPECT_EQ(wire, expected);
    EXPECT_EQ(seq, 6);
}

TEST(RTP1078Exp, BuilderPadsShortSimOnTheLeft) {
    RTPmeta h;
    h.simch.sim = "13912345678";
    uint16_t seq = 0;
    const Recorder rec = feedWhole(RTP1078Exp::BuildPackets(h, "x", seq));
    ASSERT_EQ(rec.packets.size(), 1u);
    EXPECT_EQ(rec.packets[0].meta.simch.sim, "00000000013912345678");
}

TEST(RTP1078Exp, AssemblyPerChannel) {
    auto part = [](uint8_t channel, uint8_t sub, std::string body, uint32_t ts = 40) {
        RawPacket p{.subPacket = sub, .body = std::move(body)};
        p.channel = channel;
        p.timestamp = ts;
        return p.bytes();
    };
    struct Case {
        const char* name;
        std::string stream;
        std::vector<std::pair<uint8_t, std::string>> frames; // channel, body
        size_t pendingAfter;
    };
    const Case cases[] = {
        {"first middle last",
         part(1, 1, "aa") + part(1, 3, "bb") + part(1, 2, "cc"),
         {{1, "aabbcc"}},
         0},
        {"interleaved channels",
         part(1, 1, "a1") + part(2, 1, "b1") + part(2, 3, "b2") + part(1, 2, "a2") +
             part(2, 2, "b3"),
         {{1, "a1a2"}, {2, "b1b2b3"}},
         0},
        {"atomic drops a partial frame",
         part(1, 1, "lost") + part(1, 0, "whole") + part(1, 2, "x"),
         {{1, "whole"}},
         1},
        {"last with another timestamp is dropped",
         part(1, 1, "aa") + part(1, 2, "zz", 80) + part(1, 3, "bb") + part(1, 2, "cc"),
         {{1, "aabbcc"}},
         0},
        {"middle and last without first", part(1, 3, "m") + part(1, 2, "l"), {}, 1},
        {"first restarts the frame",
         part(1, 1, "old") + part(1, 1, "new") + part(1, 2, "!"),
         {{1, "new!"}},
         0},
        {"sub-packet marks above 3 are ignored",
         part(1, 1, "a") + part(1, 9, "?") + part(1, 2, "b"),
         {{1, "ab"}},
         0},
    };
    for (const Case& c : cases) {
        RTP1078Exp exp;
        Recorder rec;
        rec.attach(exp, true, false);
        exp.Feed(c.stream + "pad!");
        ASSERT_EQ(rec.frames.size(), c.frames.size()) << c.name;
        for (size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(rec.frames[i].meta.simch.channel, c.frames[i].first) << c.name;
            EXPECT_EQ(rec.frames[i].data, c.frames[i].second) << c.name;
            EXPECT_EQ(rec.frames[i].meta.length, c.frames[i].second.size()) << c.name;
            EXPECT_EQ(rec.frames[i].meta.subPacket, 0) << c.name;
        }
        EXPECT_EQ(exp.pendingFrames(), c.pendingAfter) << c.name;
    }
}

TEST(RTP1078Exp, AssembledFrameKeepsFirstHeaderAndFullLength) {
    RawPacket first{.subPacket = 1, .body = std::string(950, 'f'), .M = 0, .seq = 10};
    first.timestamp = 7;
    first.lastIInterval = 3;
    std::string stream = first.bytes();
    for (int i = 0; i < 80; ++i) {
        RawPacket mid{.subPacket = 3, .body = std::string(950, 'm'), .M = 0};
        mid.seq = static_cast<uint16_t>(11 + i);
        mid.timestamp = 7;
        stream += mid.bytes();
    }
    RawPacket last{.subPacket = 2, .body = "end", .seq = 91};
    last.timestamp = 7;
    stream += last.bytes();

    const Recorder rec = feedWhole(stream);
    ASSERT_EQ(rec.frames.size(), 1u);
    const RTPmeta& m = rec.frames[0].meta;
    EXPECT_EQ(m.seq, 10);
    EXPECT_EQ(m.M, 0);
    EXPECT_EQ(m.lastIInterval, 3);
    EXPECT_EQ(m.length, 81u * 950u + 3u); // above 64 KiB, not wrapped
    EXPECT_EQ(rec.frames[0].data.size(), m.length);
}

TEST(RTP1078Exp, EndlessFrameIsAbandoned) {
    RTP1078Exp exp;
    size_t delivered = 0;
    exp.OnFrame = [&](const RTPmeta&, std::string_view) { ++delivered; };
    exp.Feed(RawPacket{.subPacket = 1, .body = std::string(950, 'f')}.bytes());
    const std::string mid = RawPacket{.subPacket = 3, .body = std::string(950, 'm')}.bytes();
    for (size_t i = 0; i * 950 <= RTP1078Exp::kMaxFrameBytes; ++i)
        exp.Feed(mid);
    exp.Feed(RawPacket{.subPacket = 2, .body = "!"}.bytes() + "pad!");
    EXPECT_EQ(delivered, 0u);
}

TEST(RTP1078Exp, PartialFramesPerChannelAreBounded) {
    RTP1078Exp exp;
    exp.OnFrame = [](const RTPmeta&, std::string_view) {};
    for (unsigned i = 0; i < RTP1078Exp::kMaxAssemblies + 50; ++i) {
        RawPacket p{.subPacket = 1, .body = "x"};
        p.channel = static_cast<uint8_t>(i);
        p.simBcd[9] = static_cast<char>(i >> 8);
        exp.Feed(p.bytes());
    }
    EXPECT_EQ(exp.pendingFrames(), RTP1078Exp::kMaxAssemblies);
}

TEST(RTP1078Exp, ConsumerMayResetInsideFeed) {
    RTP1078Exp exp;
    int frames = 0;
    exp.OnFrame = [&](const RTPmeta&, std::string_view) {
        if (++frames == 1) exp.Reset();
    };
    const std::string two = RawPacket{.body = "a"}.bytes() + RawPacket{.body = "b"}.bytes();
    exp.Feed(two);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(exp.pendingBytes(), 0u);
    exp.Feed("x"); // buffered path
    exp.Feed(two + "pad!");
    EXPECT_EQ(frames, 3);
}

TEST(RTP1078Exp, ResetDropsBufferedBytesAndPartialFrames) {
    RTP1078Exp exp;
    Recorder rec;
    rec.attach(exp);
    exp.Feed(RawPacket{.subPacket = 1, .body = "a"}.bytes() + "01cd\x81");
    EXPECT_GT(exp.pendingBytes(), 0u);
    EXPECT_EQ(exp.pendingFrames(), 1u);
    exp.Reset();
    EXPECT_EQ(exp.pendingBytes(), 0u);
    EXPECT_EQ(exp.pendingFrames(), 0u);
}

// Random valid packets and frames with random junk, fed in random chunk sizes, give exactly
// the packets and frames that were built.
TEST(RTP1078Exp, RandomStreamsRoundTrip) {
    std::mt19937 rng(1078);
    for (int round = 0; round < 40; ++round) {
        std::string stream;
        std::vector<RTP_data> built;
        uint16_t seq = static_cast<uint16_t>(rng());
        const int frameCount = 1 + static_cast<int>(rng() % 40);
        for (int f = 0; f < frameCount; ++f) {
            RTPmeta h;
            h.dataType = static_cast<uint8_t>(rng() % 16);
            h.PT = static_cast<uint8_t>(rng() % 128);
            h.simch.sim = std::to_string(10000000000ull + rng() % 1000);
            h.simch.sim = media::padSim(h.simch.sim);
            h.simch.channel = static_cast<uint8_t>(rng() % 4);
            h.timestamp = h.dataType == media::kTransparent ? 0 : static_cast<uint32_t>(rng());
            if (h.dataType != media::kAudio && h.dataType != media::kTransparent) {
                h.lastIInterval = static_cast<uint16_t>(rng());
                h.lastFrameInterval = static_cast<uint16_t>(rng());
            }
            std::string data(rng() % 3000, '\0');
            for (char& c : data)
                c = static_cast<char>(rng());
            const size_t junk = rng() % 3 == 0 ? rng() % 50 : 0;
            for (size_t j = 0; j < junk; ++j)
                stream.push_back(static_cast<char>('1' + rng() % 200));
            stream += RTP1078Exp::BuildPackets(h, data, seq);
            h.length = static_cast<uint32_t>(data.size());
            built.push_back({h, data});
        }
        stream += "pad!";

        RTP1078Exp exp;
        Recorder rec;
        rec.attach(exp, true, false);
        for (size_t at = 0; at < stream.size();) {
            const size_t n = std::min<size_t>(stream.size() - at, 1 + rng() % 2048);
            exp.Feed(std::string_view(stream).substr(at, n));
            at += n;
        }
        ASSERT_EQ(rec.frames.size(), built.size()) << "round " << round;
        for (size_t i = 0; i < built.size(); ++i) {
            const RTPmeta& got = rec.frames[i].meta;
            const RTPmeta& want = built[i].meta;
            EXPECT_EQ(got.PT, want.PT);
            EXPECT_EQ(got.dataType, want.dataType);
            EXPECT_EQ(got.simch, want.simch);
            EXPECT_EQ(got.timestamp, want.timestamp);
            EXPECT_EQ(got.lastIInterval, want.lastIInterval);
            EXPECT_EQ(got.length, want.length);
            EXPECT_EQ(rec.frames[i].data, built[i].data) << "round " << round << " frame " << i;
        }
    }
}
