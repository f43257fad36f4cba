#include "SelfChecks.h"
#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

struct RunResult {
    int status = -1;
    QByteArray out, err;
};

QByteArray drain(FILE* file) {
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, qsizetype(n));
    std::fclose(file);
    return bytes;
}

RunResult runChecks(const std::vector<SelfCheck>& checks, const SelfChecks::Rules& rules,
                    const QString& contract = QStringLiteral("/nonexistent/index.json")) {
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    RunResult result;
    result.status = SelfChecks::run(checks, rules, contract, out, err);
    result.out = drain(out);
    result.err = drain(err);
    return result;
}

RunResult runWith(const SelfChecks::Rules& rules,
                  const QString& contract = QStringLiteral("/nonexistent/index.json")) {
    return runChecks(SelfChecks::all(rules), rules, contract);
}

const QByteArray finalLine = "selftest: playlist chooser, back-step, download set, cadence, origin fallback, "
                             "forward-only and kiosk update hour ok\n";

// One broken rule and the check that must be the first to notice.
struct Breakage {
    const char* rule;
    std::function<void(SelfChecks::Rules&)> breakIt;
    const char* firstFailure;
};

} // namespace

TEST(SelfChecks, FiftyOneNamedChecksThatAllPass) {
    const auto& checks = SelfChecks::all();
    ASSERT_EQ(int(checks.size()), SelfChecks::floor);
    QSet<QString> names;
    for (const SelfCheck& check : checks) {
        names.insert(check.name);
        EXPECT_TRUE(check.pass()) << check.name.toStdString();
    }
    EXPECT_EQ(names.size(), 51);

    const auto rules = SelfChecks::Rules::real();
    const std::pair<std::vector<SelfCheck> (*)(const SelfChecks::Rules&), size_t> lists[] = {
        {SelfChecks::playlist, 12},      {SelfChecks::downloadSet, 10}, {SelfChecks::cadence, 9},
        {SelfChecks::originFallback, 5}, {SelfChecks::forwardOnly, 6},  {SelfChecks::contract, 3},
        {SelfChecks::kioskHour, 4},      {SelfChecks::carryOver, 2}};
    size_t at = 0;
    for (const auto& [list, size] : lists) {
        const auto part = list(rules);
        ASSERT_EQ(part.size(), size);
        for (const SelfCheck& check : part)
            EXPECT_EQ(check.name, checks[at++].name); // `all` keeps the lists' order
    }
}

TEST(SelfChecks, FixturesByteForByte) {
    EXPECT_EQ(SelfChecks::goodIndex().size(), 165);
    EXPECT_EQ(SelfChecks::badIndex().size(), 125);
    EXPECT_EQ(SelfChecks::t0().toUTC().toString(Qt::ISODate), QStringLiteral("1970-01-12T13:46:40Z"));
    EXPECT_EQ(SelfChecks::at(5, 14, 0).toUTC().toString(Qt::ISODate), QStringLiteral("2026-10-05T20:00:00Z"));
}

TEST(SelfChecks, EachBrokenRuleIsNamedByItsFirstCheck) {
    using std::chrono::seconds;
    const Breakage breakages[] = {
        {"nextIndex",
         [](auto& r) { r.nextIndex = [](auto&, int, auto&, auto&) { return std::optional<int>(0); }; },
         "nextIndex: skips the clip just played"},
        {"rewound", [](auto& r) { r.rewound = [](int cursor, int) { return cursor; }; },
         "rewound: played 0, back wraps to the end"},
        {"inUse", [](auto& r) { r.inUse = [](auto&) { return std::optional<QSet<QString>>(); }; },
         "inUse: one product per screen"},
        {"choice", [](auto& r) { r.choice = [](const QString& entry) { return QStringList{entry}; }; },
         "choice: empty means every product"},
        {"refreshInterval",
         [](auto& r) { r.refreshInterval = [](std::optional<double> v) { return v.value_or(1440); }; },
         "refreshInterval: the old hourly default is once a day"},
        {"isDue", [](auto& r) { r.isDue = [](auto&, seconds, auto&) { return false; }; },
         "isDue: never checked"},
        {"manualSpacing", [](auto& r) { r.manualSpacing = seconds(0); }, "isDue: button inside the hour"},
        {"shouldUseOrigin",
         [](auto& r) {
             r.shouldUseOrigin = [](bool reached, const std::optional<QDateTime>& generated,
                                    const QDateTime& now) {
                 return !reached || (generated && generated->secsTo(now) >= 64800);
             };
         },
         "shouldUseOrigin: right at 18 h, stay"},
        {"isNewer",
         [](auto& r) {
             r.isNewer = [](const QString& candidate, const std::optional<QString>& than) {
                 return !than || candidate > *than;
             };
         },
         "isNewer: held from a fixed key"},
        {"indexVerdicts",
         [](auto& r) { r.indexVerdicts = [](auto&) { return std::optional<QStringList>(); }; },
         "indexVerdicts: versioned name first"},
        {"quietHourNext",
         [](auto& r) { r.quietHourNext = [](const QDateTime& after, auto&) { return after; }; },
         "QuietHour: afternoon, tomorrow 3 a.m."},
        {"carryOverKeys",
         [](auto& r) {
             r.carryOverKeys = [] {
                 return std::vector<Settings::Key>{Settings::Key::mode, Settings::Key::cacheHome};
             };
         },
         "CarryOver: keys are unique and leave out the developer flags"},
        {"defaultOldCache", [](auto& r) { r.defaultOldCache = [](const QString& beside) { return beside; }; },
         "CarryOver: the old cache is Corvane beside Solvane"},
    };
    for (const Breakage& breakage : breakages) {
        auto rules = SelfChecks::Rules::real();
        breakage.breakIt(rules);
        const RunResult result = runWith(rules);
        EXPECT_EQ(result.status, 1) << breakage.rule;
        EXPECT_EQ(result.err, QByteArray("selftest: FAILED ") + breakage.firstFailure + "\n")
            << breakage.rule;
        EXPECT_TRUE(result.out.isEmpty()) << breakage.rule;
    }
}

TEST(SelfChecks, DuplicateCarryOverKeysFail) {
    auto rules = SelfChecks::Rules::real();
    rules.carryOverKeys = [] { return std::vector<Settings::Key>{Settings::Key::mode, Settings::Key::mode}; };
    EXPECT_EQ(runWith(rules).err,
              QByteArray("selftest: FAILED CarryOver: keys are unique and leave out the developer flags\n"));
}

TEST(SelfChecks, TooFewChecksFailEvenWhenTheyPass) {
    const auto rules = SelfChecks::Rules::real();
    auto checks = SelfChecks::all(rules);
    checks.pop_back();
    const RunResult result = runChecks(checks, rules);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, QByteArray("selftest: only 50 checks, expected at least 51\n"));
    EXPECT_TRUE(result.out.isEmpty());
}

TEST(SelfChecks, WithoutTheFixtureOnlyTheFinalLine) {
    const RunResult result = runWith(SelfChecks::Rules::real());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, finalLine);
    EXPECT_TRUE(result.err.isEmpty());
}

TEST(SelfChecks, TheContractFixture) {
    const RunResult result = runWith(SelfChecks::Rules::real(), "infra/contract/contract-v1/index.json");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "selftest: contract-v1 ok (14 products)\n" + finalLine);
}

TEST(SelfChecks, ABadFixtureFailsAndSaysWhy) {
    QTemporaryDir folder;
    const QString path = folder.filePath("index.json");
    const QByteArray good = readFile("infra/contract/contract-v1/index.json");
    const QJsonDocument document = QJsonDocument::fromJson(good);
    ASSERT_TRUE(document.isObject());

    QJsonObject swapped = document.object();
    QJsonArray products = swapped["products"].toArray();
    const QJsonValue first = products[0];
    products[0] = products[1];
    products[1] = first;
    swapped["products"] = products;

    QJsonObject shortened = document.object();
    QJsonArray fewer = shortened["products"].toArray();
    fewer.removeLast();
    shortened["products"] = fewer;

    QJsonObject rejected = document.object();
    QJsonArray broken = rejected["products"].toArray();
    QJsonObject product = broken[2].toObject();
    product.remove("updated");
    broken[2] = product;
    rejected["products"] = broken;

    const std::pair<QByteArray, const char*> cases[] = {
        {"{\"generated\":\"2026-10-01T06:00:00Z\"}", "does not decode"},
        {"not json", "does not decode"},
        {QJsonDocument(rejected).toJson(), "has a verdict that is not ok: reject"},
        {QJsonDocument(swapped).toJson(), "but the catalogue is"},
        {QJsonDocument(shortened).toJson(), "but the catalogue is"},
    };
    for (const auto& [bytes, reason] : cases) {
        writeFile(path, bytes);
        const RunResult result = runWith(SelfChecks::Rules::real(), path);
        EXPECT_EQ(result.status, 1) << reason;
        EXPECT_TRUE(result.out.isEmpty()) << reason;
        EXPECT_TRUE(result.err.startsWith("selftest: contract " + path.toUtf8())) << result.err.constData();
        EXPECT_TRUE(result.err.contains(reason)) << result.err.constData();
    }
}

TEST(SelfTestCommand, FromTheRepositoryAndFromAnEmptyFolder) {
    const ProcessResult here = runSolvane({"--selftest"});
    EXPECT_EQ(here.status, 0) << here.err.constData();
    EXPECT_EQ(here.out, "selftest: contract-v1 ok (14 products)\n" + finalLine);

    QTemporaryDir empty;
    const ProcessResult elsewhere = runSolvane({"--selftest", "--check-index", "x"}, empty.path());
    EXPECT_EQ(elsewhere.status, 0);
    EXPECT_EQ(elsewhere.out, finalLine);
}

TEST(SelfTestCommand, ABrokenFixtureEndsNonZero) {
    QTemporaryDir folder;
    QDir(folder.path()).mkpath("infra/contract/contract-v1");
    writeFile(folder.filePath("infra/contract/contract-v1/index.json"), "{\"products\":[]}");
    const ProcessResult result = runSolvane({"--selftest"}, folder.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.err.contains("selftest: contract")) << result.err.constData();
}

TEST(LookTestCommand, PrintsTheThreeLines) {
    const ProcessResult result = runSolvane({"--look-test"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, QByteArray("ok no change is mid grey (128)\n"
                                     "ok brighter than the reference is lighter (204)\n"
                                     "ok darker than the reference is darker (51)\n"));
}
