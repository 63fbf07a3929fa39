// Const queries on one object from several threads at once.
#include <scrivlet/scrivlet.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(VifThreads, ConstQueriesRunConcurrently) {
    std::vector<CVIFField> fields;
    for (int i = 0; i < 200; ++i) fields.emplace_back("Field_" + std::to_string(i), std::to_string(i));
    fields.emplace_back(std::string(1000, 'L'), "0x10");
    const CVendorInfoFile file(fields);
    auto queries = [&](int rounds) {
        int failures = 0;
        for (int round = 0; round < rounds; ++round) {
            failures += file.Count("^field_1.*") != 111;
            failures += file.GetUniqueField(u"^Field_42$").GetNumericValue() != 42;
            failures += file.GetFields("L+")->front().GetNumericValue() != 16;
            failures += !fields[7].Match("field_7");
        }
        return failures;
    };
    // libstdc++ fills a character cache of the locale on first use, a benign
    // race that ThreadSanitizer would report: fill it before the threads.
    ASSERT_EQ(queries(1), 0);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { failures[t] = queries(20); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
