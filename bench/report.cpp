#include "report.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QVariant>

#include <algorithm>
#include <array>

namespace {

QString figureText(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    const double number = value.toDouble();
    if (number == double(qint64(number)) || number >= 100)
        return QString::number(number, 'f', 0);
    return QString::number(number, 'f', number >= 10 ? 1 : 3);
}

const std::array<QString, 4> kindNames = {QStringLiteral("none"), QStringLiteral("at most"),
                                          QStringLiteral("at least"), QStringLiteral("equals")};

std::optional<Target::Kind> kindNamed(const QString &name)
{
    const auto found = std::find(kindNames.begin(), kindNames.end(), name);
    if (found == kindNames.end())
        return std::nullopt;
    return Target::Kind(found - kindNames.begin());
}

QString metText(std::optional<bool> met)
{
    if (!met)
        return QStringLiteral("-");
    return *met ? QStringLiteral("yes") : QStringLiteral("no");
}

QJsonArray rowsToJson(const QList<Row> &rows)
{
    QJsonArray array;
    for (const Row &row : rows) {
        QJsonObject object{{QStringLiteral("row"), row.name},
                           {QStringLiteral("size"), row.size},
                           {QStringLiteral("value"), row.value},
                           {QStringLiteral("unit"), row.unit},
                           {QStringLiteral("target"), kindNames[int(row.target.kind)]}};
        if (row.target.kind != Target::Kind::None)
            object.insert(QStringLiteral("bound"), row.target.bound);
        if (const std::optional<bool> met = row.met())
            object.insert(QStringLiteral("met"), *met);
        array.append(object);
    }
    return array;
}

std::optional<QList<Row>> rowsFromJson(const QJsonValue &json)
{
    if (!json.isArray())
        return std::nullopt;
    QList<Row> rows;
    for (const QJsonValue &element : json.toArray()) {
        const QJsonObject object = element.toObject();
        const std::optional<Target::Kind> kind =
            kindNamed(object.value(QStringLiteral("target")).toString());
        const QJsonValue value = object.value(QStringLiteral("value"));
        if (!kind || !(value.isDouble() || value.isBool()))
            return std::nullopt;
        rows.append({object.value(QStringLiteral("row")).toString(),
                     object.value(QStringLiteral("size")).toString(),
                     value,
                     object.value(QStringLiteral("unit")).toString(),
                     {*kind, object.value(QStringLiteral("bound"))}});
    }
    return rows;
}

} // namespace

std::optional<bool> Target::metBy(const QJsonValue &value) const
{
    switch (kind) {
    case Kind::None:
        return std::nullopt;
    case Kind::AtMost:
        return value.isDouble() && value.toDouble() <= bound.toDouble();
    case Kind::AtLeast:
        return value.isDouble() && value.toDouble() >= bound.toDouble();
    case Kind::Equals:
        return value == bound;
    }
    return std::nullopt;
}

QString Target::text() const
{
    const QString boundText =
        bound.isBool() ? figureText(bound) : QString::number(bound.toDouble(), 'g', 6);
    switch (kind) {
    case Kind::None:
        return QStringLiteral("-");
    case Kind::AtMost:
        return QStringLiteral("<= ") + boundText;
    case Kind::AtLeast:
        return QStringLiteral(">= ") + boundText;
    case Kind::Equals:
        return QStringLiteral("= ") + boundText;
    }
    return {};
}

QString Report::table() const
{
    QList<QStringList> lines = {{QStringLiteral("row"), QStringLiteral("size"),
                                 QStringLiteral("figure"), QStringLiteral("unit"),
                                 QStringLiteral("target"), QStringLiteral("met")}};
    for (const Row &row : rows) {
        lines.append({row.name, row.size, figureText(row.value), row.unit, row.target.text(),
                      metText(row.met())});
    }
    QList<qsizetype> widths(lines.first().size(), 0);
    for (const QStringList &line : lines) {
        for (qsizetype column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line[column].size());
    }

    QString table;
    for (const QStringList &line : lines) {
        QString text;
        for (qsizetype column = 0; column < line.size(); ++column) {
            // Figures line up on the right, everything else on the left.
            const bool number = column == 2;
            text += number ? line[column].rightJustified(widths[column])
                           : line[column].leftJustified(widths[column]);
            text += QStringLiteral("  ");
        }
        table += text.trimmed() + QLatin1Char('\n');
    }
    for (const QString &size : skipped)
        table += QStringLiteral("skipped %1\n").arg(size);
    for (const QString &size : failures)
        table += QStringLiteral("failed %1\n").arg(size);
    return table;
}

QJsonDocument Report::toJson() const
{
    return QJsonDocument(
        QJsonObject{{QStringLiteral("rows"), rowsToJson(rows)},
                    {QStringLiteral("skipped"), QJsonArray::fromStringList(skipped)},
                    {QStringLiteral("failures"), QJsonArray::fromStringList(failures)}});
}

std::optional<Report> Report::fromJson(const QByteArray &json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const std::optional<QList<Row>> rows = rowsFromJson(object.value(QStringLiteral("rows")));
    const QJsonValue skipped = object.value(QStringLiteral("skipped"));
    const QJsonValue failures = object.value(QStringLiteral("failures"));
    if (!rows || !skipped.isArray() || !failures.isArray())
        return std::nullopt;
    return Report{*rows, skipped.toVariant().toStringList(), failures.toVariant().toStringList()};
}

Report &Report::operator+=(const Report &other)
{
    rows += other.rows;
    skipped += other.skipped;
    failures += other.failures;
    return *this;
}

bool Report::checksPassed() const
{
    return failures.isEmpty() && std::all_of(rows.begin(), rows.end(), [](const Row &row) {
               return row.target.kind != Target::Kind::Equals || row.met() == true;
           });
}
