// The decimal conversions of the "end" and "stoptimeout" values, on any text
// the INI file can hold; what is left of the stop's bound at any tick; and the
// waits a stop of that bound gives rise to.
#include "fuzz_support.h"

#include "host/portable_service_control.h"
#include "scm/portable_service_wait.h"
#include "settings/portable_stop_timeout.h"
#include "settings/settings.h"
#include "text/text.h"

// atoi's reading with the value kept modulo 2^32: white space, one sign, digits.
static int32_t WrappedDecimal(const std::string& text, size_t* digitCount)
{
    size_t i = 0;
    while (i < text.size() && strchr(" \t\n\v\f\r", text[i]) && text[i] != '\0')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t value = 0;
    *digitCount = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++*digitCount)
        value = (value * 10 + (uint64_t)(text[i] - '0')) & 0xFFFFFFFFu;
    if (negative)
        value = (0x100000000u - value) & 0xFFFFFFFFu;
    return (int32_t)(uint32_t)value;
}

static void CheckText(const std::string& text)
{
    TextBlock block(text);
    int value = ParseDecimal(block.bytes);
    size_t digits = 0;
    FUZZ_CHECK(value == WrappedDecimal(text, &digits));
    // Where nothing overflows, the C library agrees.
    if (digits <= 9)
        FUZZ_CHECK(value == atoi(block.bytes));
    if (digits <= 18)
        FUZZ_CHECK(value == (int32_t)(uint32_t)strtoll(block.bytes, NULL, 10));
}

// The stop's bound: digits alone give their value within 1 and the limit,
// anything else the default.
static void CheckStopTimeout(const std::string& text)
{
    TextBlock block(text);
    int seconds = ParseStopTimeout(block.bytes);
    FUZZ_CHECK(seconds >= 1 && seconds <= STOP_TIMEOUT_LIMIT_SECONDS);
    bool digitsOnly = !text.empty();
    uint64_t value = 0;
    for (size_t i = 0; digitsOnly && i < text.size(); ++i) {
        digitsOnly = text[i] >= '0' && text[i] <= '9';
        if (value <= STOP_TIMEOUT_LIMIT_SECONDS)
            value = value * 10 + (uint64_t)(text[i] - '0');
    }
    if (!digitsOnly)
        FUZZ_CHECK(seconds == STOP_TIMEOUT_DEFAULT_SECONDS);
    else
        FUZZ_CHECK(seconds == (value < 1 ? 1 : value > STOP_TIMEOUT_LIMIT_SECONDS ? STOP_TIMEOUT_LIMIT_SECONDS
                                                                                   : (int)value));
}

// A wait for a stop of that bound, fed statuses made of the text's bytes:
// it never goes on past its limit, nor past the last progress's hint and margin.
static void CheckServiceWait(const std::string& text, uint32_t startTick)
{
    int seconds = ParseStopTimeout(TextBlock(text).bytes);
    FUZZ_CHECK(StopWaitLimitMs(seconds) > StopWaitHintMs(seconds));
    ServiceWait wait;
    BeginServiceWait(&wait, startTick, StopWaitLimitMs(seconds));
    uint32_t now = startTick;
    for (size_t i = 0; i + 4 <= text.size(); i += 4) {
        now += (uint32_t)(uint8_t)text[i] * 256u;
        uint32_t state = (uint8_t)text[i + 1] % 4, checkPoint = (uint8_t)text[i + 2] % 4;
        uint32_t hint = (uint32_t)(uint8_t)text[i + 3] * 1000u;
        int goesOn = ServiceWaitGoesOn(&wait, state, checkPoint, hint, now);
        FUZZ_CHECK(wait.state == state && wait.checkPoint == checkPoint);
        if (goesOn) {
            FUZZ_CHECK(now - startTick < wait.limitMs);
            FUZZ_CHECK(now - wait.progressTick < wait.waitHintMs + STOP_WAIT_MARGIN_MS);
        }
        uint32_t poll = ServiceWaitPollMs(&wait, now);
        FUZZ_CHECK(poll >= 10 && poll <= 500);
    }
}

// The control handler's decision for any control in any moment: what is not
// a stop is never acted on, a stop never twice; the controls accepted and the
// preshutdown allowance for any version and bound.
static void CheckServiceControl(uint32_t bits, const std::string& text)
{
    uint32_t control = bits % 20;
    ControlAction action = DecideControl(control, bits >> 5 & 1, bits >> 6 & 1, bits >> 7 & 1);
    bool stop = control == KAVO_CONTROL_STOP || control == KAVO_CONTROL_SHUTDOWN || control == KAVO_CONTROL_PRESHUTDOWN;
    FUZZ_CHECK(stop || action == kControlAnswered || action == kControlNotHandled);
    FUZZ_CHECK(!(bits >> 6 & 1) || action == kControlAnswered || action == kControlNotHandled);
    uint32_t accepted = ControlsAccepted(bits >> 8 & 7, bits >> 16);
    FUZZ_CHECK(((bits >> 8 & 7) == KAVO_STATE_START_PENDING) == (accepted == 0));
    FUZZ_CHECK(NestsJobs(bits >> 16) == (bits >> 16 >= KAVO_WINDOWS_VERSION(6, 2)));
    int seconds = ParseStopTimeout(TextBlock(text).bytes);
    FUZZ_CHECK(PreshutdownTimeoutMs(seconds) == StopWaitLimitMs(seconds));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input{data, size};
    uint32_t bits = (uint32_t)input.Byte() | (uint32_t)input.Byte() << 8 | (uint32_t)input.Byte() << 16 |
                    (uint32_t)input.Byte() << 24;
    uint32_t start = bits * 2654435761u;
    uint32_t bound = bits >> 8;
    std::string text = input.Text();

    // The tick counter wraps after 49.7 days; what has passed is counted modulo 2^32.
    for (uint32_t elapsed : {0u, 1u, bound - 1, bound, bound + 1, bits, 0xFFFFFFFFu}) {
        uint32_t left = MillisecondsLeft(start, start + elapsed, bound);
        FUZZ_CHECK(left == (elapsed < bound ? bound - elapsed : 0));
    }

    CheckText(text);
    CheckStopTimeout(text);
    CheckServiceWait(text, bits);
    CheckServiceControl(bits, text);
    // The profile read gives at most 259 bytes.
    if (text.size() >= TEXT_SIZE)
        CheckText(text.substr(0, TEXT_SIZE - 1));

    // What the program writes ("%d") it reads back as the same value, also with
    // white space before it and anything after it.
    int32_t saved = (int32_t)bits;
    char written[16];
    snprintf(written, sizeof written, "%d", saved);
    FUZZ_CHECK(ParseDecimal(written) == saved);
    std::string padded = " \t" + std::string(written) + text;
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        TextBlock block(padded);
        FUZZ_CHECK(ParseDecimal(block.bytes) == saved);
    }
    return 0;
}
