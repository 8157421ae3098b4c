// The registration record handed to the host: name, tracks, checks, callbacks.
// All strings are Shift-JIS (code page 932), written as bytes.
#include "host/callbacks.h"
#include "host/channel.h"

namespace skarvel {

namespace {

#define SKARVEL_EDGE_LABEL(digit) \
    "\xB4\xAF\xBC\xDE"            \
    "Lv" digit  // katakana "edge" + Lv n

const char* const kTrackLabels[kTrackCount] = {
    "Mode",
    SKARVEL_EDGE_LABEL("0"),
    SKARVEL_EDGE_LABEL("1"),
    SKARVEL_EDGE_LABEL("2"),
    SKARVEL_EDGE_LABEL("3"),
    SKARVEL_EDGE_LABEL("4"),
    SKARVEL_EDGE_LABEL("5"),
    SKARVEL_CHANNEL_PREFIX "-NR0L",
    SKARVEL_CHANNEL_PREFIX "-NR1",
    SKARVEL_CHANNEL_PREFIX "-NR2",
    SKARVEL_CHANNEL_PREFIX "-NR3",
    SKARVEL_CHANNEL_PREFIX "-NR4",
    SKARVEL_CHANNEL_PREFIX "-NR5H",
    "\x93\x4B\x97\x70\x93\x78%",  // strength in percent
    "\x8F\x63\x8C\x57\x90\x94%",  // vertical factor in percent
    "\x93\x57\x8A\x4A\x92\x6C",   // display selector
};
#undef SKARVEL_EDGE_LABEL

const int32_t kTrackDefaults[kTrackCount] = {2,  75, 75, 75, 75, 75,  75,  50,
                                             50, 50, 50, 50, 50, 200, 100, 0};
const int32_t kTrackMinima[kTrackCount] = {};
const int32_t kTrackMaxima[kTrackCount] = {3,   150, 150, 150, 150, 150, 150, 100,
                                           100, 100, 100, 100, 100, 200, 200, 4};

const char* const kCheckLabels[kCheckCount] = {
    // process at half width
    "\x94\xBC\x95\xAA\x82\xC9\x8A\xD4\x88\xF8\x82\xA2\x82\xC4\x8F\x88\x97\x9D",
    // average when halving
    "\x8A\xD4\x88\xF8\x82\xAD\x8E\x9E\x82\xC9\x95\xBD\x8B\xCF",
};
const int32_t kCheckDefaults[kCheckCount] = {0, 0};

FilterRegistration Registration = {
    0x80000u,
    0,
    0,
    SKARVEL_FILTER_NAME,
    kTrackCount,
    kTrackLabels,
    kTrackDefaults,
    kTrackMinima,
    kTrackMaxima,
    kCheckCount,
    kCheckLabels,
    kCheckDefaults,
    ProcessFrame,
    InitFilter,
    ExitFilter,
    UpdateParameters,
    HandleFilterMessage,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "version 0.02a by Tobren",
    nullptr,
    nullptr,
    nullptr,
    {},
};

}  // namespace

FilterRegistration* FilterTable() {
    return &Registration;
}

}  // namespace skarvel
