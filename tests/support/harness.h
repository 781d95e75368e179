#pragma once

// A main window on a program folder of its own, driven through the scripted desktop.

#include "scripted_desktop.h"
#include "shell/globals.h"
#include "shell/steps.h"
#include "shell/window/form1.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace lexivane::testing {

QString binDir();
QString testData(const QString& relative);

// A fault hook that makes each of the given steps of the handler fail once per run
// of the hook, as a single failing statement would.
StepFaultHook failOnce(const QString& handler, std::vector<int> steps);

// Writes dbWords.mdb from the words with the project's builder; false on failure.
bool makeDatabase(const QString& path, const QStringList& words);

// Words of the shared sample word list, in file order.
QStringList sampleWords();

// The reference order of the word list: base letters first, then accents, then case.
bool referenceLess(const QString& a, const QString& b);
// The base letters a word sorts by first.
QString primaryKey(const QString& word);

struct Harness {
    explicit Harness(const QStringList& words = {"a", "at", "cat", "dog", "bird", "apple"});
    ~Harness();

    // Runs the start-up; true when it did not end the program.
    bool load();
    Form1& form() { return *window; }
    QString folder() const { return dir.path(); }
    QStringList listed() const; // the words in the results list
    // A close request as the window system makes it; ends by throwing ProgramEnded.
    void closeWindow();
    QString header() const;

    QTemporaryDir dir;
    ScriptedDesktop desktop;
    std::unique_ptr<Form1> window;
    double roll = 0.5; // the home-page draw
};

} // namespace lexivane::testing
