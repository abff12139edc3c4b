#pragma once
// What the application manager's tests share: a desktop that records what it
// was asked to open, a script window without scripts, and a manager on a main
// window built the way the program builds it.

#include "framework/managers/appli_man.h"
#include "tests/framework/actions/fakes.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QWidget>
#include <gtest/gtest.h>

class FakeShell final : public TAppliShell
{
public:
    QStringList opened;
    QString documents = QStringLiteral("/home/user/Documents");

    bool Open(const QString& target) override
    {
        opened.append(target);
        return true;
    }
    QString DocumentsFolder() const override { return documents; }
};

class FakeScriptWindow final : public TScriptWindow
{
public:
    explicit FakeScriptWindow(const QString& title) { window.setWindowTitle(title); }

    QWidget window;
    TScriptLink* script = nullptr;
    QString folder;
    bool keep = false;

    QWidget* Window() override { return &window; }
    void SetScriptComponent(TScriptLink* s) override { script = s; }
    QString ScriptFolder() const override { return folder; }
    void SetScriptFolder(const QString& f) override { folder = f; }
    void SetKeepScript(bool k) override { keep = k; }
};

// Clicks the link whose text is `text` in a shown label.
inline void ClickText(QTextEdit& label, const QString& text)
{
    const QTextCursor found = label.document()->find(text);
    ASSERT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor inside(label.document());
    inside.setPosition(found.selectionStart() + 1);
    const QPoint at = label.cursorRect(inside).center();
    QTest::mouseClick(label.viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// The hint a label shows with the pointer over `text`.
inline QString HintOver(QTextEdit& label, const QString& text)
{
    const QTextCursor found = label.document()->find(text);
    if (found.isNull())
        return QStringLiteral("(no such text)");
    QTextCursor inside(label.document());
    inside.setPosition(found.selectionStart() + 1);
    const QPoint at = label.cursorRect(inside).center();
    QMouseEvent move(QEvent::MouseMove, at, label.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(label.viewport(), &move);
    return label.toolTip();
}

class AppliManTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Window.resize(400, 300);
        TScriptParts parts;
        parts.CreateHost = [this] {
            auto host = std::make_unique<FakeScript>();
            Host = host.get();
            return host;
        };
        parts.CreateWindow = [this](const QString& title) {
            auto window = std::make_unique<FakeScriptWindow>(title);
            Script = window.get();
            return window;
        };
        Man.reset(TKvActionComponent::Create<TKvAppliMan>(nullptr, parts));
        Man->SetShell(&Shell);
        Man->SetWinControl(&Window);
    }

    void TearDown() override { MacroTarget = nullptr; }

    void ShowWindow()
    {
        Window.show();
        Window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
    }

    QWidget Window;
    FakeShell Shell;
    FakeScript* Host = nullptr;
    FakeScriptWindow* Script = nullptr;
    std::unique_ptr<TKvAppliMan> Man;
};
