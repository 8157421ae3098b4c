// The registration record of both built modules, loaded as a host loads them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tools/standin/parameter_messages.h"
#include "tools/standin/plugin_host.h"

namespace skarvel {
namespace {

using standin::PluginHost;

std::unique_ptr<PluginHost> LoadModule(const char* path) {
    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::Load(path, &error);
    EXPECT_TRUE(host) << error;
    return host;
}

struct TrackRow {
    const char* label;  // Shift-JIS bytes; "%s" stands for the channel prefix
    int32_t defaultValue, maximum;
};

const TrackRow kTracks[16] = {
    {"Mode", 2, 3},
    {"\xB4\xAF\xBC\xDELv0", 75, 150},
    {"\xB4\xAF\xBC\xDELv1", 75, 150},
    {"\xB4\xAF\xBC\xDELv2", 75, 150},
    {"\xB4\xAF\xBC\xDELv3", 75, 150},
    {"\xB4\xAF\xBC\xDELv4", 75, 150},
    {"\xB4\xAF\xBC\xDELv5", 75, 150},
    {"%s-NR0L", 50, 100},
    {"%s-NR1", 50, 100},
    {"%s-NR2", 50, 100},
    {"%s-NR3", 50, 100},
    {"%s-NR4", 50, 100},
    {"%s-NR5H", 50, 100},
    {"\x93\x4B\x97\x70\x93\x78\x25", 200, 200},
    {"\x8F\x63\x8C\x57\x90\x94\x25", 100, 200},
    {"\x93\x57\x8A\x4A\x92\x6C", 0, 4},
};

void CheckRecord(const FilterRegistration& r, const std::string& channel) {
    EXPECT_EQ(r.flags, 0x80000u);
    EXPECT_EQ(r.hostField4, 0);
    EXPECT_EQ(r.hostField8, 0);
    EXPECT_STREQ(r.name, ("Skarvel_" + channel).c_str());
    ASSERT_EQ(r.trackCount, 16);
    for (int i = 0; i < 16; ++i) {
        std::string label = kTracks[i].label;
        const size_t at = label.find("%s");
        if (at != std::string::npos) label.replace(at, 2, channel);
        EXPECT_EQ(std::string(r.trackLabels[i]), label) << "track " << i;
        EXPECT_EQ(r.trackDefaults[i], kTracks[i].defaultValue) << i;
        EXPECT_EQ(r.trackMinima[i], 0) << i;
        EXPECT_EQ(r.trackMaxima[i], kTracks[i].maximum) << i;
    }
    ASSERT_EQ(r.checkCount, 2);
    EXPECT_STREQ(r.checkLabels[0],
                 "\x94\xBC\x95\xAA\x82\xC9\x8A\xD4\x88\xF8\x82\xA2\x82\xC4\x8F\x88\x97\x9D");
    EXPECT_STREQ(r.checkLabels[1], "\x8A\xD4\x88\xF8\x82\xAD\x8E\x9E\x82\xC9\x95\xBD\x8B\xCF");
    EXPECT_EQ(r.checkDefaults[0], 0);
    EXPECT_EQ(r.checkDefaults[1], 0);
    EXPECT_NE(r.processFrame, nullptr);
    EXPECT_NE(r.init, nullptr);
    EXPECT_NE(r.exit, nullptr);
    EXPECT_NE(r.update, nullptr);
    EXPECT_NE(r.windowProc, nullptr);
    EXPECT_EQ(r.trackValues, nullptr);
    EXPECT_EQ(r.checkValues, nullptr);
    EXPECT_STREQ(r.information, "version 0.02a by Tobren");
    EXPECT_EQ(r.services, nullptr);
    EXPECT_EQ(r.hostField76, nullptr);
    EXPECT_EQ(r.hostField80, nullptr);
    EXPECT_EQ(r.hostField88, nullptr);
    EXPECT_EQ(r.hostField92, nullptr);
    for (void* field : r.hostFields100) EXPECT_EQ(field, nullptr);
}

TEST(Registration, BothBuildsCarryTheirRecord) {
    auto cr = LoadModule(SKARVEL_CR_MODULE);
    auto cb = LoadModule(SKARVEL_CB_MODULE);
    ASSERT_TRUE(cr && cb);
    CheckRecord(cr->Registration(), "Cr");
    CheckRecord(cb->Registration(), "Cb");
}

TEST(Registration, UnloadableModulesAreReported) {
    std::string error;
    EXPECT_FALSE(PluginHost::Load("/nonexistent/skarvel.so", &error));
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
}

TEST(Registration, CbBuildDenoisesCbAndLeavesCr) {
    auto cb = LoadModule(SKARVEL_CB_MODULE);
    ASSERT_TRUE(cb);
    std::string error;
    ASSERT_TRUE(cb->Start(&error)) << error;
    std::vector<YcPixel> px(64 * 32);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = {int16_t(i & 255), int16_t((i * 7919) % 300 - 150), int16_t(i % 97)};
    const std::vector<YcPixel> before = px;
    cb->Process(px.data(), 64, 32, 64);
    int changed = 0;
    for (size_t i = 0; i < px.size(); ++i) {
        ASSERT_EQ(px[i].y, before[i].y);
        ASSERT_EQ(px[i].cr, before[i].cr);
        changed += px[i].cb != before[i].cb;
    }
    EXPECT_GT(changed, 100);
}

}  // namespace
}  // namespace skarvel

// Setting tracks by the messages another program would send gives the same
// frame as setting them directly.
namespace skarvel {
namespace {

std::vector<YcPixel> FilterOneFrame(const std::vector<int32_t>& tracks, bool viaMessages) {
    auto host = LoadModule(SKARVEL_CR_MODULE);
    std::string error;
    std::vector<standin::ParameterMessage> messages;
    if (viaMessages) {
        EXPECT_TRUE(standin::MessagesForTracks(tracks, &messages, &error)) << error;
        for (int i = 14; i < 16; ++i) host->Tracks()[i] = tracks[i];
    } else {
        host->Tracks() = tracks;
    }
    EXPECT_TRUE(host->Start(&error)) << error;
    for (const auto& m : messages) host->Message(m.number, m.lParam);
    if (viaMessages) {
        EXPECT_EQ(host->RefreshCount(), 3);
        EXPECT_EQ(host->TracksAtLastRefresh(), tracks);
    }
    std::vector<YcPixel> px(200 * 120);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = {0, 0, int16_t((i * 2654435761u >> 20) % 600 - 300 + (i % 200 > 90 ? 800 : 0))};
    host->Process(px.data(), 200, 120, 200);
    return px;
}

TEST(ParameterMessages, SettingTracksByMessageEqualsSettingThemDirectly) {
    const std::vector<int32_t> tracks = {1,  10, 20, 30, 40, 50,  60, 70,
                                         80, 90, 15, 25, 35, 150, 60, 0};
    const std::vector<YcPixel> direct = FilterOneFrame(tracks, false);
    const std::vector<YcPixel> messaged = FilterOneFrame(tracks, true);
    const std::vector<YcPixel> defaults = FilterOneFrame(
        std::vector<int32_t>({2, 75, 75, 75, 75, 75, 75, 50, 50, 50, 50, 50, 50, 200, 60, 0}),
        false);
    int same = 0, differentFromDefaults = 0;
    for (size_t i = 0; i < direct.size(); ++i) {
        same += direct[i].cr == messaged[i].cr;
        differentFromDefaults += direct[i].cr != defaults[i].cr;
    }
    EXPECT_EQ(same, static_cast<int>(direct.size()));
    EXPECT_GT(differentFromDefaults, 100) << "the tracks matter for this frame";
}

TEST(ParameterMessages, SequenceAndLimits) {
    std::vector<standin::ParameterMessage> m;
    std::string error;
    std::vector<int32_t> tracks(16, 0);
    for (int i = 0; i < 14; ++i) tracks[i] = 100 + i;
    ASSERT_TRUE(standin::MessagesForTracks(tracks, &m, &error));
    std::vector<uint32_t> order;
    for (const auto& x : m) order.push_back(x.number);
    EXPECT_EQ(order, (std::vector<uint32_t>{2024, 2025, 2026, 2028, 2029, 2030, 2027, 2031}));
    EXPECT_EQ(m[1].lParam, (102 << 16) | 101);
    tracks[8] = 65536;
    EXPECT_FALSE(standin::MessagesForTracks(tracks, &m, &error));
    EXPECT_NE(error.find("track 8"), std::string::npos);

    standin::ParameterMessage p;
    EXPECT_TRUE(standin::ParseParameterMessage("2031:0x00C80064", &p));
    EXPECT_EQ(p.number, 2031u);
    EXPECT_EQ(p.lParam, 0x00C80064);
    EXPECT_TRUE(standin::ParseParameterMessage("2024:0xFFFFFFFF", &p));
    EXPECT_EQ(p.lParam, -1);
    for (const char* bad : {"2024", ":5", "2024:", "x:1", "2024:1z", "2024:0x100000000"})
        EXPECT_FALSE(standin::ParseParameterMessage(bad, &p)) << bad;
}

}  // namespace
}  // namespace skarvel
