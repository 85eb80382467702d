// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "Audio/Converters/NumberText.h"
#include "Audio/Converters/ParamConverter.h"
#include "Core/ClassRegistry.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

using CAttrs = std::vector<std::pair<const char*, const char*>>;

// The converters as the shared document declares them.
const CAttrs kGain = {
    {"is-discrete", "false"}, {"scale-power", "1.0"}, {"scale-threshold", "-1.0"}, {"decimals", "1"}, {"label", "dB"}};
const CAttrs kText = {{"label", ""}, {"is-discrete", "true"}};
const CAttrs kReal = {{"label", ""}, {"is-discrete", "false"}, {"decimals", "2"}};
const CAttrs kTime = {{"is-discrete", "false"}, {"is-log", "false"},     {"scale", "0.001"},
                      {"is-exact", "false"},    {"is-precise", "false"}, {"label", "ms"}};
const CAttrs kEnum = {{"label", ""}, {"is-discrete", "true"}, {"state-names", ""}};
const CAttrs kEnable = {{"label", ""}, {"is-discrete", "true"}, {"state-names", "Off;On"}};

CAttrs with(CAttrs attrs, const char* name, const char* value) {
    for (auto& a : attrs)
        if (CString(a.first) == name) a.second = value;
    return attrs;
}

std::unique_ptr<CObject> createInitialised(const char* tag, const CAttrs& attrs, CErrorPtr& error) {
    std::unique_ptr<CObject> obj(CClassRegistry::instance().create(tag));
    if (!obj) return obj;
    for (const auto& a : attrs) obj->setAttr(a.first, a.second);
    error = obj->init();
    return obj;
}

template <class T>
std::unique_ptr<T> make(const char* tag, const CAttrs& attrs) {
    CErrorPtr error;
    std::unique_ptr<CObject> obj = createInitialised(tag, attrs, error);
    EXPECT_EQ(error, nullptr) << error->describe();
    T* typed = dynamic_cast<T*>(obj.get());
    if (!typed) {
        ADD_FAILURE() << tag << " does not create the expected class";
        return nullptr;
    }
    obj.release();
    return std::unique_ptr<T>(typed);
}

std::string initError(const char* tag, const CAttrs& attrs) {
    CErrorPtr error;
    std::unique_ptr<CObject> obj = createInitialised(tag, attrs, error);
    if (!obj) return "<no class>";
    return error ? error->text().utf8() : std::string("<no error>");
}

// One component with its range read through the converter, as parameter
// definitions read `min-values` and `max-values`.
CAudioParamInfo rangeInfo(CAudioParamConverter& cvt, const char* min, const char* max) {
    CAudioParamInfo info;
    info.converters = {&cvt};
    bool ok = false;
    info.minValues = {cvt.textToPlain(info, 0, min, &ok)};
    EXPECT_TRUE(ok) << min;
    info.maxValues = {cvt.textToPlain(info, 0, max, &ok)};
    EXPECT_TRUE(ok) << max;
    return info;
}

void setStateNames(CAudioParamInfo& info, std::vector<CString> names) {
    info.stateShortNames.clear();
    for (const CString& n : names) info.stateShortNames.push_back(CAudioParamConverterEnum::shortName(n));
    info.stateNames = std::move(names);
}

double fromDb(double db) { return std::pow(10.0, db / 20.0); }

class CItems : public IAudioDataItems {
public:
    std::map<long long, CString> items;
    bool itemText(long long id, CString& out) const override {
        auto it = items.find(id);
        if (it == items.end()) return false;
        out = it->second;
        return true;
    }
};

}  // namespace

// ---------------------------------------------------------------- number text

TEST(NumberText, FormatsWithRoundingHalfAwayFromZero) {
    struct Case {
        double value;
        unsigned decimals;
        const char* text;
    };
    const Case cases[] = {
        {0.0, 1, "0.0"},
        {-0.04, 1, "0.0"},
        {-0.05, 1, "-0.1"},
        {0.05, 1, "0.1"},
        {2.5, 0, "3"},
        {-2.5, 0, "-3"},
        {-0.4, 0, "0"},
        {0.125, 2, "0.13"},
        {1234.5678, 2, "1234.57"},
        {0.001, 4, "0.0010"},
        {-0.001, 4, "-0.0010"},
        {12.0, 0, "12"},
        {7.0, 10, "7.0000000000"},
        {-123.0, 1, "-123.0"},
        {0.99996, 4, "1.0000"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatNumber(c.value, c.decimals), CString(c.text)) << c.value;
}

TEST(NumberText, RoundingToIntegersSaturates) {
    EXPECT_EQ(roundHalfAwayToInt(2.5), 3);
    EXPECT_EQ(roundHalfAwayToInt(-2.5), -3);
    EXPECT_EQ(roundHalfAwayToInt(2.4999), 2);
    EXPECT_EQ(roundHalfAwayToInt(1e300), std::numeric_limits<long long>::max());
    EXPECT_EQ(roundHalfAwayToInt(-1e300), std::numeric_limits<long long>::min());
    EXPECT_EQ(roundHalfAwayToInt(std::nan("")), 0);
    EXPECT_EQ(roundHalfAway(-0.5), -1.0);
}

TEST(NumberText, ParsesUntilTheFirstForeignCharacter) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"12,5", true, 12.5},    {"12.5", true, 12.5},  {"-6", true, -6.0},        {"+3", true, 3.0},
        {".5", true, 0.5},       {"5.", true, 5.0},     {",25", true, 0.25},       {"1e3", true, 1000.0},
        {"1.5E-2", true, 0.015}, {"2e", true, 2.0},     {"2e+x", true, 2.0},       {"7dB", true, 7.0},
        {"1.2.3", true, 1.2},    {"1,2,3", true, 1.2},  {"0.000", true, 0.0},      {"1e999", true, inf},
        {"-1e999", true, -inf},  {"1e-999", true, 0.0}, {"0.0001e999", true, inf}, {"", false, 0.0},
        {"-", false, 0.0},       {"abc", false, 0.0},   {".e5", false, 0.0},       {" 5", false, 0.0},
        {"e5", false, 0.0},
    };
    for (const Case& c : cases) {
        double v = -999.0;
        EXPECT_EQ(parseNumber(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(NumberText, ParsesWholeNumbers) {
    struct Case {
        const char* text;
        bool ok;
        long long value;
    };
    const Case cases[] = {
        {"3", true, 3},
        {"-2", true, -2},
        {"+7", true, 7},
        {"2.7", true, 2},
        {"4x", true, 4},
        {"MS3", false, 0},
        {"+", false, 0},
        {"", false, 0},
        {" 1", false, 0},
        {"99999999999999999999", true, std::numeric_limits<long long>::max()},
        {"-9223372036854775808", true, std::numeric_limits<long long>::min()},
        {"-99999999999999999999", true, std::numeric_limits<long long>::min()},
    };
    for (const Case& c : cases) {
        long long v = -999;
        EXPECT_EQ(parseWholeNumber(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

// ---------------------------------------------------------------- initialisation

TEST(Converters, InvalidAttributesFailInitialisation) {
    struct Case {
        const char* tag;
        CAttrs attrs;
        const char* message;
    };
    const Case cases[] = {
        {"audio:cvt-gain", with(kGain, "scale-power", "0"), "Invalid 'scale-power' attribute value 0 specified."},
        {"audio:cvt-gain", with(kGain, "scale-power", "-1.5"), "Invalid 'scale-power' attribute value -1.5 specified."},
        {"audio:cvt-gain", with(kGain, "scale-power", "big"), "Invalid 'scale-power' attribute value big specified."},
        {"audio:cvt-gain", with(kGain, "scale-threshold", "1.5"),
         "Invalid 'scale-threshold' attribute value 1.5 specified."},
        {"audio:cvt-gain", with(kGain, "decimals", "11"), "Invalid 'decimals' attribute value 11 specified."},
        {"audio:cvt-gain", with(kGain, "decimals", "-1"), "Invalid 'decimals' attribute value -1 specified."},
        {"audio:cvt-real", with(kReal, "decimals", "11"), "Invalid decimals 11 specified."},
        {"audio:cvt-time", with(kTime, "scale", "0"), "Invalid scale 0.0000 specified."},
        {"audio:cvt-time", with(kTime, "scale", "-2.5"), "Invalid scale -2.5000 specified."},
        // The limits themselves are accepted.
        {"audio:cvt-gain", with(kGain, "scale-threshold", "1.0"), "<no error>"},
        {"audio:cvt-gain", with(kGain, "decimals", "10"), "<no error>"},
        {"audio:cvt-real", with(kReal, "decimals", "0"), "<no error>"},
    };
    for (const Case& c : cases) EXPECT_EQ(initError(c.tag, c.attrs), c.message) << c.tag;
}

// ---------------------------------------------------------------- gain

class GainConverter : public ::testing::Test {
protected:
    void SetUp() override {
        gain = make<CAudioParamConverterGain>("audio:cvt-gain", kGain);
        ASSERT_TRUE(gain);
        info = rangeInfo(*gain, "-12", "12");
    }
    std::unique_ptr<CAudioParamConverterGain> gain;
    CAudioParamInfo info;
};

TEST_F(GainConverter, TextIsDecibels) {
    EXPECT_NEAR(info.minValues[0], 0.251188643150958, 1e-15);
    EXPECT_NEAR(info.maxValues[0], 3.981071705534972, 1e-14);
    struct Case {
        const char* text;
        bool ok;
        double clamped;
        double unclamped;
    };
    const Case cases[] = {
        {"-6", true, 0.501187233627272, 0.501187233627272},
        {"0", true, 1.0, 1.0},
        {"12,5", true, info.maxValues[0], fromDb(12.5)},
        {"20", true, info.maxValues[0], 10.0},
        {"-40", true, info.minValues[0], 0.01},
        {"loud", false, info.minValues[0], info.minValues[0]},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_NEAR(gain->textToPlainClamped(info, 0, c.text, &ok), c.clamped, 1e-14) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
        ok = !c.ok;
        EXPECT_NEAR(gain->textToPlain(info, 0, c.text, &ok), c.unclamped, 1e-14) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
}

TEST_F(GainConverter, DisplayModesChooseDecimals) {
    struct Case {
        double plain;
        int mode;
        const char* text;
    };
    const Case cases[] = {
        {1.0, 0, "0.0"},           {1.0, 3, "0.00"},          {fromDb(-9.94), 1, "-9.9"},
        {fromDb(-9.96), 1, "-10"}, {fromDb(-0.04), 0, "0.0"}, {fromDb(-0.04), 3, "-0.04"},
        {fromDb(6.02), 2, "6.0"},  {fromDb(-12), 1, "-12"},   {fromDb(3.26), 1, "3.3"},
        {0.0, 0, "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(gain->plainToText(info, 0, c.plain, c.mode), CString(c.text)) << c.plain;
}

TEST_F(GainConverter, NormalisedIsLogarithmicInGain) {
    EXPECT_NEAR(gain->normalizedToPlain(info, 0, 0.5), 1.0, 1e-15);
    EXPECT_DOUBLE_EQ(gain->normalizedToPlain(info, 0, 0.0), info.minValues[0]);
    EXPECT_DOUBLE_EQ(gain->normalizedToPlain(info, 0, 1.0), info.maxValues[0]);
    EXPECT_NEAR(gain->normalizedToPlain(info, 0, 0.75), fromDb(6.0), 1e-14);
    EXPECT_NEAR(gain->normalizedToDisplay(info, 0, 0.5), 0.0, 1e-14);
    EXPECT_NEAR(gain->normalizedToDisplay(info, 0, 0.25), -6.0, 1e-13);
    EXPECT_NEAR(gain->plainToNormalized(info, 0, fromDb(-6.0)), 0.25, 1e-15);
}

TEST(Converters, LogThresholdSplitsAtUnityGain) {
    // Below the threshold the range ends at gain 1.0, above it starts there.
    auto gain = make<CAudioParamConverterGain>("audio:cvt-gain",
                                               with(with(kGain, "scale-threshold", "0.5"), "scale-power", "2"));
    ASSERT_TRUE(gain);
    const CAudioParamInfo info = rangeInfo(*gain, "-60", "12");
    const double lo = info.minValues[0], hi = info.maxValues[0];
    struct Case {
        double normalized;
        double plain;
    };
    const Case cases[] = {
        {0.0, lo}, {0.25, lo * std::pow(1.0 / lo, std::sqrt(0.5))}, {0.5, 1.0}, {0.75, std::sqrt(hi)}, {1.0, hi},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(gain->normalizedToPlain(info, 0, c.normalized), c.plain, 1e-12) << c.normalized;
        EXPECT_NEAR(gain->plainToNormalized(info, 0, c.plain), c.normalized, 1e-12) << c.normalized;
    }
}

TEST(Converters, LogThresholdOfOneEndsAtUnityGain) {
    auto gain = make<CAudioParamConverterGain>("audio:cvt-gain", with(kGain, "scale-threshold", "1.0"));
    ASSERT_TRUE(gain);
    const CAudioParamInfo info = rangeInfo(*gain, "-60", "0");
    EXPECT_EQ(gain->normalizedToPlain(info, 0, 1.0), 1.0);
    EXPECT_NEAR(gain->normalizedToPlain(info, 0, 0.5), fromDb(-30.0), 1e-15);
    EXPECT_NEAR(gain->plainToNormalized(info, 0, fromDb(-30.0)), 0.5, 1e-15);
}

TEST(Converters, LogPowerBendsTheCurve) {
    auto gain = make<CAudioParamConverterGain>("audio:cvt-gain", with(kGain, "scale-power", "2"));
    ASSERT_TRUE(gain);
    const CAudioParamInfo info = rangeInfo(*gain, "-12", "12");
    // n^(1/2) = 0.5 at n = 0.25: the middle of the log range, 0 dB.
    EXPECT_NEAR(gain->normalizedToPlain(info, 0, 0.25), 1.0, 1e-15);
    EXPECT_NEAR(gain->plainToNormalized(info, 0, 1.0), 0.25, 1e-15);
}

// ---------------------------------------------------------------- real and text

TEST(Converters, RealParsesClampsAndPrints) {
    auto real = make<CAudioParamConverterReal>("audio:cvt-real", kReal);
    ASSERT_TRUE(real);
    CAudioParamInfo info = rangeInfo(*real, "-1", "100");
    bool ok = false;
    EXPECT_EQ(real->textToPlainClamped(info, 0, "12,5", &ok), 12.5);
    EXPECT_TRUE(ok);
    EXPECT_EQ(real->textToPlainClamped(info, 0, "150", &ok), 100.0);
    EXPECT_EQ(real->textToPlain(info, 0, "150", &ok), 150.0);
    EXPECT_EQ(real->textToPlainClamped(info, 0, "x", &ok), -1.0);
    EXPECT_FALSE(ok);
    struct Case {
        double plain;
        int mode;
        const char* text;
    };
    const Case cases[] = {
        {3.14159, 0, "3.14"}, {3.14159, 1, "3.1"}, {3.14159, 3, "3.14"}, {12.34, 1, "12"},
        {9.96, 1, "10"},      {9.94, 1, "9.9"},    {-0.004, 0, "0.00"},  {-55.125, 2, "-55.13"},
    };
    for (const Case& c : cases) EXPECT_EQ(real->plainToText(info, 0, c.plain, c.mode), CString(c.text)) << c.plain;

    info.minValues = {-1.0};
    info.maxValues = {3.0};
    EXPECT_EQ(real->normalizedToPlain(info, 0, 0.25), 0.0);
    EXPECT_EQ(real->plainToNormalized(info, 0, 2.0), 0.75);
    EXPECT_EQ(real->normalizedToDisplay(info, 0, 1.0), 3.0);
}

TEST(Converters, TextShowsDataItems) {
    auto text = make<CAudioParamConverterText>("audio:cvt-text", kText);
    ASSERT_TRUE(text);
    CAudioParamInfo info;
    info.dataType = CAudioParamInfo::kString;
    bool ok = false;
    EXPECT_EQ(text->textToPlain(info, 0, "Left", &ok), 0.0);
    EXPECT_TRUE(ok);
    ok = false;
    EXPECT_EQ(text->textToPlainClamped(info, 0, "Left", &ok), 0.0);
    EXPECT_TRUE(ok);

    EXPECT_EQ(text->plainToText(info, 0, 2.0, 0), CString());
    CItems items;
    items.items = {{1, "L"}, {2, "R"}, {3, "IN3"}};
    info.dataItems = &items;
    EXPECT_EQ(text->plainToText(info, 0, 2.0, 0), CString("R"));
    EXPECT_EQ(text->plainToText(info, 0, 2.5, 0), CString("IN3"));
    EXPECT_EQ(text->plainToText(info, 0, 9.0, 0), CString());
}

// ---------------------------------------------------------------- time

class TimeConverter : public ::testing::Test {
protected:
    void SetUp() override {
        time = make<CAudioParamConverterTime>("audio:cvt-time", kTime);
        ASSERT_TRUE(time);
        info = rangeInfo(*time, "0", "9999.99");
    }
    std::unique_ptr<CAudioParamConverterTime> time;
    CAudioParamInfo info;
};

TEST_F(TimeConverter, TextIsInDisplayUnits) {
    EXPECT_DOUBLE_EQ(info.maxValues[0], 9.99999);
    struct Case {
        const char* text;
        bool ok;
        double clamped;
        double unclamped;
    };
    const Case cases[] = {
        {"250", true, 0.25, 0.25}, {"12,5", true, 0.0125, 0.0125}, {"20000", true, info.maxValues[0], 20.0},
        {"-3", true, 0.0, -0.003}, {"abc", false, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_DOUBLE_EQ(time->textToPlainClamped(info, 0, c.text, &ok), c.clamped) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_DOUBLE_EQ(time->textToPlain(info, 0, c.text, &ok), c.unclamped) << c.text;
    }
    // The fallback is the minimum.
    const CAudioParamInfo meter = rangeInfo(*time, "1", "1000");
    bool ok = true;
    EXPECT_DOUBLE_EQ(time->textToPlainClamped(meter, 0, "", &ok), 0.001);
    EXPECT_FALSE(ok);
    EXPECT_DOUBLE_EQ(time->textToPlain(meter, 0, "", &ok), 0.001);
}

TEST_F(TimeConverter, DecimalsFollowMagnitudeAndFlags) {
    auto precise = make<CAudioParamConverterTime>("audio:cvt-time", with(kTime, "is-precise", "true"));
    auto exact = make<CAudioParamConverterTime>("audio:cvt-time", with(kTime, "is-exact", "true"));
    ASSERT_TRUE(precise && exact);
    struct Case {
        const CAudioParamConverterTime* cvt;
        double plain;
        int mode;
        const char* text;
    };
    const Case cases[] = {
        {time.get(), 0.1, 0, "100"},        {time.get(), 0.1, 1, "0.1*"},      {time.get(), 0.005, 0, "5.00"},
        {time.get(), 0.05, 0, "50.0"},      {time.get(), 0.5, 0, "500"},       {time.get(), 0.5, 2, "500"},
        {time.get(), 0.005, 1, "5.0"},      {time.get(), 0.05, 1, "50"},       {time.get(), 0.00951, 1, "10"},
        {time.get(), 2.5, 1, "2.5*"},       {time.get(), 0.00999, 0, "10.0"},  {time.get(), 0.0, 0, "0.00"},
        {precise.get(), 0.005, 0, "5.000"}, {precise.get(), 0.05, 0, "50.00"}, {precise.get(), 0.5, 0, "500.0"},
        {exact.get(), 0.5, 0, "500.00"},    {exact.get(), 0.05, 3, "50.00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.cvt->plainToText(info, 0, c.plain, c.mode), CString(c.text)) << c.plain << " mode " << c.mode;
}

TEST_F(TimeConverter, NormalisedMappings) {
    EXPECT_DOUBLE_EQ(time->normalizedToPlain(info, 0, 0.5), 2.4999975);
    EXPECT_DOUBLE_EQ(time->normalizedToDisplay(info, 0, 0.5), 2499.9975);
    EXPECT_DOUBLE_EQ(time->plainToNormalized(info, 0, 2.4999975), 0.5);

    auto exact = make<CAudioParamConverterTime>("audio:cvt-time", with(kTime, "is-exact", "true"));
    auto log = make<CAudioParamConverterTime>("audio:cvt-time", with(kTime, "is-log", "true"));
    ASSERT_TRUE(exact && log);
    EXPECT_DOUBLE_EQ(exact->normalizedToPlain(info, 0, 0.5), 4.999995);
    EXPECT_DOUBLE_EQ(exact->plainToNormalized(info, 0, 4.999995), 0.5);
    const CAudioParamInfo logInfo = rangeInfo(*log, "1", "10000");
    EXPECT_NEAR(log->normalizedToPlain(logInfo, 0, 0.5), 0.1, 1e-15);
    EXPECT_NEAR(log->plainToNormalized(logInfo, 0, 0.1), 0.5, 1e-15);
}

// ---------------------------------------------------------------- enumeration

class EnumConverter : public ::testing::Test {
protected:
    void SetUp() override {
        plain = make<CAudioParamConverterEnum>("audio:cvt-enum", kEnum);
        enable = make<CAudioParamConverterEnum>("audio:cvt-enum", kEnable);
        ASSERT_TRUE(plain && enable);
        pairs = rangeInfo(*plain, "0", "4");
        setStateNames(pairs, {"---", "MS1", "MS2", "MS3", "MS4"});
        onOff = rangeInfo(*enable, "0", "1");
    }
    std::unique_ptr<CAudioParamConverterEnum> plain, enable;
    CAudioParamInfo pairs, onOff;
};

TEST_F(EnumConverter, ShowsStateNames) {
    struct Case {
        const CAudioParamConverterEnum* cvt;
        const CAudioParamInfo* info;
        double value;
        int mode;
        const char* text;
    };
    const Case cases[] = {
        {plain.get(), &pairs, 2.0, 0, "MS2"},      {plain.get(), &pairs, 2.4, 0, "MS2"},
        {plain.get(), &pairs, 2.5, 0, "MS3"},      {plain.get(), &pairs, 7.0, 0, "Reserve"},
        {plain.get(), &pairs, 7.0, 1, "Rsv"},      {plain.get(), &pairs, 7.0, 2, "Reserve"},
        {plain.get(), &pairs, -1.0, 0, "Reserve"}, {plain.get(), &pairs, 0.0, 1, "---"},
        {enable.get(), &onOff, 0.0, 0, "Off"},     {enable.get(), &onOff, 1.0, 1, "On"},
        {enable.get(), &onOff, 0.0, 2, "Off"},     {plain.get(), &onOff, 5.5, 0, "6"},
        {plain.get(), &onOff, -2.5, 0, "-3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.cvt->plainToText(*c.info, 0, c.value, c.mode), CString(c.text)) << c.value << " mode " << c.mode;
}

TEST_F(EnumConverter, TypedTextFindsNumbersAndNames) {
    struct Case {
        const CAudioParamConverterEnum* cvt;
        const CAudioParamInfo* info;
        const char* text;
        bool ok;
        double clamped;
        double unclamped;
    };
    const Case cases[] = {
        {plain.get(), &pairs, "ms3", true, 3.0, 3.0},     {plain.get(), &pairs, " \tmS4\r\n", true, 4.0, 4.0},
        {plain.get(), &pairs, "3", true, 3.0, 3.0},       {plain.get(), &pairs, "9", true, 4.0, 9.0},
        {plain.get(), &pairs, "-2", true, 0.0, -2.0},     {plain.get(), &pairs, "bogus", false, 0.0, 0.0},
        {enable.get(), &onOff, "on", true, 1.0, 1.0},     {enable.get(), &onOff, "OFF", true, 0.0, 0.0},
        {enable.get(), &onOff, "maybe", false, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(c.cvt->textToPlainClamped(*c.info, 0, c.text, &ok), c.clamped) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(c.cvt->textToPlain(*c.info, 0, c.text, &ok), c.unclamped) << c.text;
    }
}

TEST_F(EnumConverter, NamesCountFromTheMinimum) {
    CAudioParamInfo modes = rangeInfo(*enable, "1", "3");
    setStateNames(modes, {"Msec", "Meter", "Foot"});
    // The parameter's own names replace the converter's for display.
    EXPECT_EQ(enable->plainToText(modes, 0, 2.0, 0), CString("Meter"));
    EXPECT_EQ(enable->plainToText(modes, 0, 2.0, 1), CString("Met"));
    EXPECT_EQ(enable->plainToText(modes, 0, 0.0, 0), CString("Reserve"));
    EXPECT_EQ(enable->textToPlainClamped(modes, 0, "foot"), 3.0);
    // Names that fail give the minimum.
    bool ok = true;
    EXPECT_EQ(enable->textToPlainClamped(modes, 0, "yard", &ok), 1.0);
    EXPECT_FALSE(ok);
}

TEST_F(EnumConverter, ShortNamesMatchTheFirstSevenCharacters) {
    EXPECT_EQ(CAudioParamConverterEnum::shortName("Reservoir"), CString("Reservo"));
    EXPECT_EQ(CAudioParamConverterEnum::shortName("Encoder|Enc"), CString("Enc"));
    EXPECT_EQ(CAudioParamConverterEnum::shortName("MS1"), CString("MS1"));

    auto tanks = make<CAudioParamConverterEnum>("audio:cvt-enum", with(kEnum, "state-names", "Reservoir;Tank"));
    ASSERT_TRUE(tanks);
    const CAudioParamInfo info = rangeInfo(*tanks, "0", "1");
    EXPECT_EQ(tanks->plainToText(info, 0, 0.0, 2), CString("Reservo"));
    EXPECT_EQ(tanks->plainToText(info, 0, 0.0, 1), CString("Res"));
    bool ok = false;
    EXPECT_EQ(tanks->textToPlainClamped(info, 0, "reservoirs", &ok), 0.0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(tanks->textToPlainClamped(info, 0, "TANK", &ok), 1.0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(tanks->textToPlainClamped(info, 0, "Tanker", &ok), 0.0);
    EXPECT_FALSE(ok);

    // Full names are tried before the short names, which may collide.
    CAudioParamInfo channels = rangeInfo(*plain, "0", "1");
    setStateNames(channels, {"Channel1", "Channel2"});
    EXPECT_EQ(plain->textToPlainClamped(channels, 0, "channel2"), 1.0);
    EXPECT_EQ(plain->textToPlainClamped(channels, 0, "Channel9"), 0.0);
    EXPECT_EQ(plain->plainToText(channels, 0, 1.0, 2), CString("Channel"));
}

TEST_F(EnumConverter, RebuildReadsNewStateNames) {
    enable->setAttr("state-names", "No;Yes;Auto");
    enable->rebuildStateNames();
    const CAudioParamInfo info = rangeInfo(*enable, "0", "2");
    EXPECT_EQ(enable->plainToText(info, 0, 2.0, 0), CString("Auto"));
    EXPECT_EQ(enable->textToPlainClamped(info, 0, "yes"), 1.0);
    EXPECT_EQ(enable->stateShortNames().size(), 3u);
}

TEST_F(EnumConverter, NormalisedRoundsToStates) {
    EXPECT_EQ(plain->normalizedToPlain(pairs, 0, 0.6), 2.0);
    EXPECT_EQ(plain->normalizedToPlain(pairs, 0, 0.625), 3.0);
    EXPECT_EQ(plain->normalizedToDisplay(pairs, 0, 0.625), 3.0);
    EXPECT_EQ(plain->plainToNormalized(pairs, 0, 3.0), 0.75);
}

// ---------------------------------------------------------------- round trips

TEST(Converters, NormalisedRoundTrips) {
    auto gain = make<CAudioParamConverterGain>("audio:cvt-gain", kGain);
    auto real = make<CAudioParamConverterReal>("audio:cvt-real", kReal);
    auto time = make<CAudioParamConverterTime>("audio:cvt-time", kTime);
    auto logTime = make<CAudioParamConverterTime>("audio:cvt-time", with(kTime, "is-log", "true"));
    auto enumCvt = make<CAudioParamConverterEnum>("audio:cvt-enum", kEnum);
    ASSERT_TRUE(gain && real && time && logTime && enumCvt);
    struct Case {
        const CAudioParamConverter* cvt;
        CAudioParamInfo info;
    };
    const Case cases[] = {
        {gain.get(), rangeInfo(*gain, "-12", "12")},    {gain.get(), rangeInfo(*gain, "-96", "96")},
        {real.get(), rangeInfo(*real, "-5", "20")},     {time.get(), rangeInfo(*time, "0", "9999.99")},
        {time.get(), rangeInfo(*time, "100", "10000")}, {logTime.get(), rangeInfo(*logTime, "1", "1000")},
    };
    for (const Case& c : cases)
        for (double n : {0.0, 0.1, 0.25, 0.5, 0.9, 1.0})
            EXPECT_NEAR(c.cvt->plainToNormalized(c.info, 0, c.cvt->normalizedToPlain(c.info, 0, n)), n, 1e-12)
                << c.cvt->label().utf8() << " " << n;
    // Discrete states come back exactly.
    const CAudioParamInfo digits = rangeInfo(*enumCvt, "0", "9");
    for (int state = 0; state <= 9; ++state)
        EXPECT_EQ(enumCvt->normalizedToPlain(digits, 0, enumCvt->plainToNormalized(digits, 0, state)), state);
}
