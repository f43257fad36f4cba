#include "SelfChecks.h"

#include "Catalog.h"

#include <QFile>
#include <cstdlib>

namespace {

void line(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The contract fixture: every product of the catalogue, in catalogue order, each judged "ok". Gives the
// number of products, or nothing after saying on `err` which condition failed.
std::optional<qsizetype> judgeContract(const SelfChecks::Rules& rules, const QByteArray& bytes,
                                       const QString& path, FILE* err) {
    const auto verdicts = rules.indexVerdicts(bytes);
    if (!verdicts) {
        line(err, QStringLiteral("selftest: contract ") + path +
                      QStringLiteral(" does not decode (no products array)"));
        return std::nullopt;
    }
    QStringList ids;
    for (const QString& verdict : *verdicts) {
        if (!verdict.startsWith(QLatin1String("ok "))) {
            line(err, QStringLiteral("selftest: contract ") + path +
                          QStringLiteral(" has a verdict that is not ok: ") + verdict);
            return std::nullopt;
        }
        ids << verdict.section(QLatin1Char(' '), 1, 1);
    }
    QStringList catalogue;
    for (const auto& product : Catalog::all())
        catalogue << product.id;
    if (ids != catalogue) {
        line(err, QStringLiteral("selftest: contract ") + path + QStringLiteral(" lists ") +
                      ids.join(QLatin1Char(',')) + QStringLiteral(" but the catalogue is ") +
                      catalogue.join(QLatin1Char(',')));
        return std::nullopt;
    }
    return verdicts->size();
}

} // namespace

int SelfChecks::run(const std::vector<SelfCheck>& checks, const Rules& rules, const QString& contractPath,
                    FILE* out, FILE* err) {
    if (int(checks.size()) < floor) {
        line(err, QStringLiteral("selftest: only ") + QString::number(checks.size()) +
                      QStringLiteral(" checks, expected at least ") + QString::number(floor));
        return 1;
    }
    for (const SelfCheck& check : checks) {
        if (!check.pass || !check.pass()) {
            line(err, QStringLiteral("selftest: FAILED ") + check.name);
            return 1;
        }
    }
    QFile fixture(contractPath);
    if (fixture.exists()) {
        if (!fixture.open(QIODevice::ReadOnly)) {
            line(err, QStringLiteral("selftest: contract ") + contractPath +
                          QStringLiteral(" cannot be read: ") + fixture.errorString());
            return 1;
        }
        const auto count = judgeContract(rules, fixture.readAll(), contractPath, err);
        if (!count) return 1;
        line(out, QStringLiteral("selftest: contract-v1 ok (") + QString::number(*count) +
                      QStringLiteral(" products)"));
    }
    line(out, QStringLiteral("selftest: playlist chooser, back-step, download set, cadence, origin fallback, "
                             "forward-only and kiosk update hour ok"));
    return 0;
}

void runSelfTest() {
    std::exit(SelfChecks::run(SelfChecks::all(), SelfChecks::Rules::real(),
                              QStringLiteral("infra/contract/contract-v1/index.json"), stdout, stderr));
}
