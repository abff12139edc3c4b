#pragma once
// Every test program with a Qt application fails a test in which Qt (or the
// program through Qt's log) prints a warning or worse: a warning is a fault
// until a test says it expects it.

#include <QString>

// Installs the check (and a private runtime folder where the environment
// has none); the programs' test entries call it once.
void FailOnQtWarnings();

// While one lives, warnings that contain `text` are expected: they are
// counted instead of failing the test.
class TExpectQtWarning
{
public:
    explicit TExpectQtWarning(QString text);
    ~TExpectQtWarning();
    TExpectQtWarning(const TExpectQtWarning&) = delete;
    TExpectQtWarning& operator=(const TExpectQtWarning&) = delete;

    int Count() const;

private:
    QString FText;
};
