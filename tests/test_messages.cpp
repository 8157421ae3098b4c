// Parameter messages against a host that records refreshes and updates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/callbacks.h"
#include "host/module_state.h"

namespace skarvel {
namespace {

struct RecordingHost {
    FilterInstance instance{};
    HostServices services{};
    std::vector<int32_t> tracks = std::vector<int32_t>(16, 0);
    std::vector<int32_t> checks = std::vector<int32_t>(2, 0);
    std::vector<std::string> calls;          // "refresh" / "update", in order
    std::vector<std::vector<int32_t>> seen;  // tracks at each call
};
RecordingHost* current = nullptr;

int32_t RecordRefresh(FilterInstance*) {
    current->calls.push_back("refresh");
    current->seen.push_back(current->tracks);
    return 1;
}
int32_t RecordUpdate(FilterInstance* instance, int32_t status) {
    current->calls.push_back("update");
    current->seen.push_back(current->tracks);
    return UpdateParameters(instance, status);
}

class Messages : public ::testing::Test {
protected:
    RecordingHost host;
    void SetUp() override {
        current = &host;
        host.instance.record = *FilterTable();
        host.instance.record.update = RecordUpdate;
        host.services.refreshWindow = RecordRefresh;
        host.instance.record.services = &host.services;
        host.instance.record.trackValues = host.tracks.data();
        host.instance.record.checkValues = host.checks.data();
        host.tracks = {2, 75, 75, 75, 75, 75, 75, 50, 50, 50, 50, 50, 50, 200, 100, 0};
        host.instance.record.trackValues = host.tracks.data();
        UpdateParameters(&host.instance, 0);
    }
    int32_t Send(uint32_t message, int32_t lParam) {
        return HandleFilterMessage(nullptr, message, 0, lParam, nullptr, &host.instance);
    }
    static int32_t Halves(uint32_t high, uint32_t low) {
        return static_cast<int32_t>((high << 16) | low);
    }
};

TEST_F(Messages, StoreOnlyMessagesNeitherRefreshNorUpdate) {
    EXPECT_EQ(Send(2025, Halves(150, 75)), 0);
    EXPECT_EQ(host.tracks[1], 75);
    EXPECT_EQ(host.tracks[2], 150);
    EXPECT_EQ(Send(2028, Halves(65535, 3)), 0);
    EXPECT_EQ(host.tracks[7], 3);
    EXPECT_EQ(host.tracks[8], 65535);  // unclamped
    Send(2026, Halves(1, 2));
    Send(2029, Halves(4, 5));
    Send(2030, Halves(6, 7));
    EXPECT_EQ(std::vector<int32_t>(host.tracks.begin() + 3, host.tracks.begin() + 5),
              (std::vector<int32_t>{2, 1}));
    EXPECT_EQ(std::vector<int32_t>(host.tracks.begin() + 9, host.tracks.begin() + 13),
              (std::vector<int32_t>{5, 4, 7, 6}));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Messages, StrengthMessageDropsTheHighHalfThenRefreshesAndUpdates) {
    EXPECT_EQ(Send(2031, Halves(200, 100)), 0);
    EXPECT_EQ(host.tracks[13], 100);
    EXPECT_EQ(host.tracks[14], 100) << "the high half reaches no track";
    EXPECT_EQ(host.calls, (std::vector<std::string>{"refresh", "update"}));
    const float expected =
        static_cast<float>(50 * double(0.8192f) * float(100 * double(0.01f))) * 2;
    EXPECT_EQ(HorizontalThresholds[0], expected);
}

TEST_F(Messages, ModeMessageStoresTheWholeValueAndOnlyRefreshes) {
    Send(2024, 5);
    EXPECT_EQ(host.tracks[0], 5);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"refresh"}));
    EXPECT_EQ(ShiftMode, 2) << "mode changes at the next update only";
    Send(2024, -70000);
    EXPECT_EQ(host.tracks[0], -70000);
}

TEST_F(Messages, EdgeMessageStoresBeforeRefreshBeforeUpdate) {
    Send(2027, Halves(9, 8));
    ASSERT_EQ(host.calls, (std::vector<std::string>{"refresh", "update"}));
    EXPECT_EQ(host.seen[0][5], 8);
    EXPECT_EQ(host.seen[0][6], 9);
    EXPECT_EQ(EdgeThresholds[4], 48.0f);
    EXPECT_EQ(EdgeThresholds[5], 54.0f);
}

TEST_F(Messages, OtherMessagesAreIgnored) {
    const std::vector<int32_t> before = host.tracks;
    for (uint32_t message : {0u, 2023u, 2032u, 0xFFFFFFFFu, 2024u - 2048u}) {
        EXPECT_EQ(Send(message, 0x00420042), 0);
    }
    EXPECT_EQ(host.tracks, before);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Messages, HostWithoutRefreshServiceStillGetsTheUpdate) {
    host.instance.record.services = nullptr;
    Send(2031, 120);
    EXPECT_EQ(host.tracks[13], 120);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"update"}));
}

}  // namespace
}  // namespace skarvel
