#include "rig/json_file.h"
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QSet>

namespace {

QString parseErrorText(QJsonParseError::ParseError e)
{
    switch (e) {
    case QJsonParseError::UnterminatedObject: return QStringLiteral("объект не закрыт");
    case QJsonParseError::MissingNameSeparator: return QStringLiteral("нет двоеточия после имени поля");
    case QJsonParseError::UnterminatedArray: return QStringLiteral("список не закрыт");
    case QJsonParseError::MissingValueSeparator: return QStringLiteral("нет запятой между значениями");
    case QJsonParseError::IllegalValue: return QStringLiteral("недопустимое значение");
    case QJsonParseError::TerminationByNumber: return QStringLiteral("текст оборван на числе");
    case QJsonParseError::IllegalNumber: return QStringLiteral("число не читается или вне пределов");
    case QJsonParseError::IllegalEscapeSequence: return QStringLiteral("недопустимая последовательность после \\");
    case QJsonParseError::IllegalUTF8String: return QStringLiteral("текст не в UTF-8");
    case QJsonParseError::UnterminatedString: return QStringLiteral("строка не закрыта");
    case QJsonParseError::MissingObject: return QStringLiteral("ожидается объект");
    case QJsonParseError::DeepNesting: return QStringLiteral("слишком глубокая вложенность");
    case QJsonParseError::DocumentTooLarge: return QStringLiteral("документ слишком велик");
    case QJsonParseError::GarbageAtEnd: return QStringLiteral("лишний текст после документа");
    case QJsonParseError::NoError: break;
    }
    return QStringLiteral("не JSON");
}

// A walk over the text that knows, at every character, the path of the value it is in.
// It never judges the text (Qt's parser does); it stops at the first key given twice
// or at the offset asked for.
class KeyWalk
{
public:
    explicit KeyWalk(const QByteArray &text) : t_(text) {}

    // The path at offset stopAt (or the whole text); *duplicate: a key seen twice.
    QString walk(qsizetype stopAt, bool *duplicate)
    {
        *duplicate = false;
        for (qsizetype i = 0; i < t_.size(); ++i) {
            if (i >= stopAt)
                return path();
            const char c = t_[i];
            switch (c) {
            case '{':
            case '[':
                valueStarts();
                stack_.append(Frame{c == '{', {}, -1, {}, true});
                break;
            case '}':
            case ']':
                if (!stack_.isEmpty())
                    stack_.removeLast();
                break;
            case ',':
                if (!stack_.isEmpty() && stack_.last().object) {
                    stack_.last().expectKey = true;
                    stack_.last().key.clear();
                }
                break;
            case ':':
                if (!stack_.isEmpty())
                    stack_.last().expectKey = false;
                break;
            case '"': {
                const qsizetype end = stringEnd(i);
                if (!stack_.isEmpty() && stack_.last().object && stack_.last().expectKey) {
                    Frame &f = stack_.last();
                    f.key = decoded(t_.mid(i, end - i + 1));
                    if (f.keys.contains(f.key)) {
                        *duplicate = true;
                        return path();
                    }
                    f.keys.insert(f.key);
                } else {
                    valueStarts();
                }
                i = end;
                break;
            }
            default:
                if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                    valueStarts();
                    while (i + 1 < t_.size() && i + 1 < stopAt && !QByteArrayView(",]}: \t\r\n").contains(t_[i + 1]))
                        ++i;
                }
            }
        }
        return path();
    }

private:
    struct Frame
    {
        bool object;
        QString key;
        int index;
        QSet<QString> keys;
        bool expectKey;
    };

    void valueStarts()
    {
        if (!stack_.isEmpty() && !stack_.last().object)
            ++stack_.last().index;
    }

    qsizetype stringEnd(qsizetype open) const
    {
        for (qsizetype i = open + 1; i < t_.size(); ++i) {
            if (t_[i] == '\\')
                ++i;
            else if (t_[i] == '"')
                return i;
        }
        return t_.size() - 1;
    }

    static QString decoded(const QByteArray &quoted)
    {
        const QJsonDocument d = QJsonDocument::fromJson("[" + quoted + "]");
        return d.isArray() ? d.array().at(0).toString() : QString::fromUtf8(quoted.mid(1, quoted.size() - 2));
    }

    QString path() const
    {
        QString p;
        for (const Frame &f : stack_) {
            if (f.object && !f.key.isEmpty())
                p += (p.isEmpty() ? QString() : QStringLiteral(".")) + f.key;
            else if (!f.object && f.index >= 0)
                p += QStringLiteral("[%1]").arg(f.index);
        }
        return p;
    }

    const QByteArray &t_;
    QList<Frame> stack_;
};

} // namespace

namespace JsonFile {

std::optional<QByteArray> ReadSmall(const QString &path, QString *error)
{
    // Looked at before it is opened: opening a FIFO would wait for a writer for ever.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("это не обычный файл (устройство, канал или папка)");
        return std::nullopt;
    }
    if (info.exists() && info.size() > MaxBytes) {
        *error = QStringLiteral("файл больше %1 КиБ (%2 байт)").arg(MaxBytes / 1024).arg(info.size());
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    // A file that grew since it was looked at is still read no further than the limit.
    QByteArray bytes = file.read(MaxBytes + 1);
    if (bytes.size() > MaxBytes) {
        *error = QStringLiteral("файл больше %1 КиБ").arg(MaxBytes / 1024);
        return std::nullopt;
    }
    return bytes;
}

std::optional<QJsonObject> ParseObject(const QByteArray &json, Refusal *refusal)
{
    *refusal = {};
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    bool duplicate = false;
    if (parseError.error != QJsonParseError::NoError) {
        refusal->field = KeyWalk(json).walk(parseError.offset, &duplicate);
        refusal->why = parseErrorText(parseError.error);
        refusal->offset = parseError.offset;
        return std::nullopt;
    }
    if (!doc.isObject()) {
        refusal->why = QStringLiteral("ожидается объект { … }");
        return std::nullopt;
    }
    const QString field = KeyWalk(json).walk(json.size(), &duplicate);
    if (duplicate) {
        refusal->field = field;
        refusal->why = QStringLiteral("поле задано дважды");
        return std::nullopt;
    }
    return doc.object();
}

} // namespace JsonFile
