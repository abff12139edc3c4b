#pragma once
// Stand-ins for the preferences store and the script component, so that the
// actions can be driven without either.

#include "framework/actions/action_prefs.h"
#include "framework/actions/script_link.h"

#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <QVariant>

#include <map>
#include <stdexcept>
#include <string>
#include <variant>

// Values by name in memory; a name in `failing` raises on read and write.
class FakePreferences : public TActionPreferences
{
public:
    using Value = std::variant<bool, int, QString, double, TPoint, TRect, TFont>;
    std::map<QString, Value> values;
    QStringList failing;

    template <class T> T Get(const QString& name, const T& fallback)
    {
        Check(name);
        const auto it = values.find(name);
        return it != values.end() && std::holds_alternative<T>(it->second) ? std::get<T>(it->second) : fallback;
    }
    template <class T> bool Put(const QString& name, const T& value)
    {
        Check(name);
        values[name] = value;
        return true;
    }

    bool ReadBool(const QString& n, bool d) override { return Get(n, d); }
    int ReadInteger(const QString& n, int d) override { return Get(n, d); }
    QString ReadString(const QString& n, const QString& d) override { return Get(n, d); }
    double ReadFloat(const QString& n, double d) override { return Get(n, d); }
    TPoint ReadPoint(const QString& n, const TPoint& d) override { return Get(n, d); }
    TRect ReadRect(const QString& n, const TRect& d) override { return Get(n, d); }
    TFont ReadFont(const QString& n, const TFont& d) override { return Get(n, d); }
    bool WriteBool(const QString& n, bool v) override { return Put(n, v); }
    bool WriteInteger(const QString& n, int v) override { return Put(n, v); }
    bool WriteString(const QString& n, const QString& v) override { return Put(n, v); }
    bool WriteFloat(const QString& n, double v) override { return Put(n, v); }
    bool WritePoint(const QString& n, const TPoint& v) override { return Put(n, v); }
    bool WriteRect(const QString& n, const TRect& v) override { return Put(n, v); }
    bool WriteFont(const QString& n, const TFont& v) override { return Put(n, v); }

private:
    void Check(const QString& name)
    {
        if (failing.contains(name))
            throw std::runtime_error("store failure");
    }
};

// Accepts declarations only while "compiling", keeps them in order and calls
// the bound entries by routine name, the way a compiled script would.
class FakeScript : public TScriptLink
{
public:
    struct Routine
    {
        QObject* self;
        TScriptEntry entry;
        std::string declaration;
    };

    TCompileEvent handler;
    std::vector<Routine> routines;
    bool compiling = false;

    TCompileEvent OnCompile() const override { return handler; }
    void SetOnCompile(TCompileEvent h) override { handler = std::move(h); }

    bool AddMethod(QObject* self, TScriptEntry entry, const std::string& declaration) override
    {
        // A routine without a name does not compile.
        static const QRegularExpression header(QStringLiteral("^procedure \\w+[;(]"));
        if (!compiling || !header.match(QString::fromStdString(declaration)).hasMatch())
            return false;
        routines.push_back({self, std::move(entry), declaration});
        return true;
    }

    // Runs the compile handlers and returns the declarations made.
    std::vector<std::string> Compile()
    {
        routines.clear();
        compiling = true;
        if (handler)
            handler(this);
        compiling = false;
        std::vector<std::string> declarations;
        for (const Routine& r : routines)
            declarations.push_back(r.declaration);
        return declarations;
    }

    bool Call(const QString& name, const QVariantList& args)
    {
        for (const Routine& r : routines) {
            const QString d = QString::fromStdString(r.declaration);
            if (d.startsWith(QStringLiteral("procedure ") + name + QLatin1Char('(')) ||
                d == QStringLiteral("procedure ") + name + QLatin1Char(';')) {
                r.entry(args);
                return true;
            }
        }
        return false;
    }

    // Runs one recorded macro line whose arguments are integers, Booleans,
    // hexadecimal colours or one quoted string.
    bool Replay(const QString& line)
    {
        static const QRegularExpression call(QStringLiteral("^    (\\w+)(?:\\((.*)\\))?;$"));
        const QRegularExpressionMatch m = call.match(line);
        if (!m.hasMatch())
            return false;
        QVariantList args;
        const QString list = m.captured(2);
        QString piece;
        bool quoted = false, wasString = false;
        const auto flush = [&] {
            const QString p = piece.trimmed();
            if (wasString)
                args.append(piece);
            else if (p == QLatin1String("True") || p == QLatin1String("False"))
                args.append(p == QLatin1String("True"));
            else if (p.startsWith(QLatin1Char('$')))
                args.append(p.mid(1).toLongLong(nullptr, 16));
            else
                args.append(p.toInt());
            piece.clear();
            wasString = false;
        };
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QChar c = list.at(i);
            if (c == QLatin1Char('\'')) {
                if (quoted && i + 1 < list.size() && list.at(i + 1) == c) {
                    piece += c;
                    ++i;
                } else {
                    quoted = !quoted;
                    if (quoted)
                        piece.clear();
                    wasString = true;
                }
            } else if (c == QLatin1Char(',') && !quoted) {
                flush();
            } else if (quoted || !wasString) {
                piece += c;
            }
        }
        if (!list.isEmpty())
            flush();
        return Call(m.captured(1), args);
    }
};
