#include <scrivlet/scrivlet.h>

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>

namespace {

CVIFField Numeric(const char* value) { return CVIFField("Device_Speed", value); }

TEST(VifField, DefaultFieldIsAnEmptyNumericField) {
    const CVIFField field;
    EXPECT_STREQ(field.Name(), "");
    EXPECT_STREQ(field.Value(), "");
    EXPECT_TRUE(field.IsNumeric());
    EXPECT_THROW(field.GetULongNumericValue(), std::invalid_argument);
    EXPECT_TRUE(field.Match(nullptr));
    EXPECT_TRUE(field.Match(""));
    EXPECT_STREQ(field.MakeOutputString().get(), "=");
}

TEST(VifField, SettersAcceptNullAndStandardStrings) {
    CVIFField field("a", "b");
    field.Name(std::string("$Example_Name"));
    field.Value(nullptr);
    EXPECT_STREQ(field.Name(), "$Example_Name");
    EXPECT_STREQ(field.Value(), "");
    field.Name(nullptr);
    field.Value(std::string("x"));
    EXPECT_STREQ(field.Name(), "");
    EXPECT_STREQ(field.Value(), "x");
}

TEST(VifField, ConvertsYesNoHexAndDecimalInAnyCase) {
    EXPECT_EQ(Numeric("no").GetULongNumericValue(), 0u);
    EXPECT_EQ(Numeric("Yes").GetULongNumericValue(), 1u);
    EXPECT_EQ(Numeric("0x10").GetULongNumericValue(), 16u);
    EXPECT_EQ(Numeric("0X10").GetULongNumericValue(), 16u);
    EXPECT_EQ(Numeric("0x1f").GetULongNumericValue(), 31u);
    EXPECT_EQ(Numeric("010").GetULongNumericValue(), 10u);
    EXPECT_EQ(Numeric("12AB").GetULongNumericValue(), 12u);
    EXPECT_EQ(Numeric("18446744073709551615").GetULongNumericValue(), UINT64_MAX);
    EXPECT_EQ(Numeric("0x100000005").GetULongNumericValue(), 4294967301u);
    EXPECT_EQ(Numeric("0x100000005").GetNumericValue(), 5u);
}

TEST(VifField, ConversionFailuresCarryTheirMessages) {
    try {
        Numeric("18446744073709551616").GetULongNumericValue();
        FAIL();
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "stoull argument out of range");
    }
    try {
        Numeric("zz").GetNumericValue();
        FAIL();
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "invalid stoull argument");
    }
    const CVIFField text("$Example_Name", "12");
    EXPECT_FALSE(text.IsNumeric());
    try {
        text.GetNumericValue();
        FAIL();
    } catch (const CQXRunTimeException& error) {
        EXPECT_STREQ(error.what(), "Field '$Example_Name' is not Numeric.");
    }
}

TEST(VifField, MatchesTheWholeNameIgnoringCase) {
    const CVIFField field("Device_Speed", "1");
    EXPECT_TRUE(field.Match("device_speed"));
    EXPECT_TRUE(field.Match("^Device_Speed$"));
    EXPECT_TRUE(field.Match("Device.*"));
    EXPECT_FALSE(field.Match("Device"));
    EXPECT_THROW(field.Match("Device("), std::regex_error);
}

// Matching keeps its state on the heap: long names, back-references on
// them included, match as short ones do.
TEST(VifField, MatchesAMebibyteLongName) {
    const CVIFField field(std::string(1 << 20, 'a') + "_End", "1");
    EXPECT_TRUE(field.Match(".*"));
    EXPECT_FALSE(field.Match("a*"));
    EXPECT_TRUE(field.Match("(a)\\1.*_end"));
    EXPECT_THROW(field.Match("(a"), std::regex_error);
}

TEST(VifField, PatternsPastTheEngineLimitsThrowNamingThePattern) {
    const std::string deep = std::string(300, '(') + "a" + std::string(300, ')');
    try {
        CVIFField("A", "1").Match(deep.c_str());
        FAIL();
    } catch (const CQXRunTimeException& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Pattern \"((((", 0), 0u) << error.what();
    }
    const std::string tooLong(SCRIVLET_MAX_PATTERN_LENGTH + 1, 'a');
    EXPECT_THROW(CVIFField("A", "1").Match(tooLong.c_str()), CQXRunTimeException);
    const std::string large(SCRIVLET_MAX_PATTERN_LENGTH, 'a');  // compiles past 64 Ki code units
    EXPECT_THROW(CVIFField("A", "1").Match(large.c_str()), CQXRunTimeException);
    try {
        CVIFField(std::string(100, 'a'), "1").Match("(a|aa)*[bc]");
        FAIL();
    } catch (const CQXRunTimeException& error) {
        EXPECT_STREQ(error.what(),
                     ("Pattern \"(a|aa)*[bc]\" needs too many backtracking steps on the "
                      "field name \"" +
                      std::string(100, 'a') + "\" (100 bytes).")
                         .c_str());
    }
}

TEST(VifField, WritesOneLine) {
    EXPECT_STREQ(CVIFField("$Example_Name", "abc").MakeOutputString().get(), "$Example_Name=\"abc\"");
    EXPECT_STREQ(CVIFField("Device_Speed", "0x1").MakeOutputString().get(), "Device_Speed=0x1");
    EXPECT_STREQ(CVIFField("$Q", "say \"hi\"").MakeOutputString().get(), "$Q=\"say \"hi\"\"");
}

TEST(VifField, MovingCopiesAndLeavesTheSource) {
    CVIFField source("Name", "Value");
    const CVIFField moved(std::move(source));
    EXPECT_STREQ(source.Name(), "Name");  // NOLINT: the source is defined to keep its texts
    EXPECT_STREQ(moved.Value(), "Value");
    CVIFField target;
    target = std::move(source);
    EXPECT_STREQ(source.Value(), "Value");  // NOLINT
    EXPECT_STREQ(target.Name(), "Name");
}

}  // namespace
