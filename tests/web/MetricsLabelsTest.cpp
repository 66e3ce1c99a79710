// The RTU series of /metrics built from a live table of the test's own: the registry name as a
// label, cut and made valid UTF-8 before the serializer escapes it, and the count of each state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/RegistryNames.h"
#include "web/LabelText.h"
#include "web/MetricsPage.h"

namespace {

TEST(LabelText, CutsByCharactersAndReplacesWhatIsNotUtf8) {
    const std::string e = "\xC3\xA9";  // é, two bytes
    const std::string replaced = "\xEF\xBF\xBD";
    const struct {
        std::string text;
        std::size_t max;
        std::string label;
    } cases[] = {
        {"Pump 7", 64, "Pump 7"},
        {std::string(70, 'x'), 64, std::string(64, 'x')},
        {std::string(3, 'x') + e + e, 4, std::string(3, 'x') + e},
        {"a\xFF"
         "b",
         64, "a" + replaced + "b"},
        {"\xC3", 64, replaced},                                // cut short
        {"\xC0\xAF", 64, replaced + replaced},                 // overlong "/"
        {"\xED\xA0\x80", 64, replaced + replaced + replaced},  // a surrogate
        {"\xF0\x9F\x92\xA7 tank", 64, "\xF0\x9F\x92\xA7 tank"},
    };
    for (const auto& c : cases) EXPECT_EQ(LabelText(c.text, c.max), c.label) << c.text;
}

TEST(RtuMetrics, InfoCarriesTheEscapedRegistryNameAndStatesAreCounted) {
    RtuTable table;
    const std::vector<std::pair<std::string, std::string>> rtus = {
        {"12", "Pump \"north\" \\ 7\nspare"}, {"13", std::string(80, 'n')}, {"14", ""}};
    std::vector<RegistryRow> rows;
    for (std::size_t i = 0; i < rtus.size(); ++i) {
        table.Slot(i).SetUidText(rtus[i].first);
        table.Slot(i).SetModel(402);
        rows.push_back({rtus[i].first, rtus[i].second});
    }
    ProcessRegistryNames().Note(rows);
    MonitorSources sources;
    sources.table = &table;

    const std::string text = RenderMetrics(sources);
    EXPECT_NE(text.find("telvorn_rtu_info{model=\"402\",name=\"Pump \\\"north\\\" \\\\ 7\\nspare\",uid=\"12\"} 1"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("telvorn_rtu_info{model=\"402\",name=\"" + std::string(64, 'n') + "\",uid=\"13\"} 1"),
              std::string::npos);
    EXPECT_NE(text.find("telvorn_rtu_info{model=\"402\",name=\"\",uid=\"14\"} 1"), std::string::npos);
    for (const char* line : {"telvorn_rtus{state=\"never\"} 3", "telvorn_rtus{state=\"connected\"} 0",
                             "telvorn_rtus{state=\"silent\"} 0", "telvorn_rtus{state=\"disconnected\"} 0"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    // Never heard: up while STALE has not passed since this process started, down after.
    for (const auto& [stale, up] : {std::pair(1000000, "1"), std::pair(0, "0")}) {
        sources.staleSeconds = stale;
        EXPECT_NE(RenderMetrics(sources).find(std::string("telvorn_rtu_up{uid=\"12\"} ") + up), std::string::npos)
            << stale;
    }
}

}  // namespace
