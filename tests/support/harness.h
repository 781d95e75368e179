#pragma once

// The handlers on a program folder of their own, driven through the scripted desktop.

#include "fake_controls.h"
#include "form.h"
#include "globals.h"
#include "scripted_desktop.h"
#include "steps.h"

#include <QStringList>
#include <QTemporaryDir>
#include <vector>

namespace lexivane::testing {

QString binDir();
QString testData(const QString& relative);

// A fault hook that makes each of the given steps of the handler fail once per run
// of the hook, as a single failing statement would.
StepFaultHook failOnce(const QString& handler, std::vector<int> steps);

// Writes dbWords.mdb from the words with the project's builder; false on failure.
bool makeDatabase(const QString& path, const QStringList& words);

// Writes the skin file x/o.cjs of a program folder.
bool writeSkin(const QString& programFolder, const QByteArray& bytes);

// Words of the shared sample word list, in file order.
QStringList sampleWords();

// The reference order of the word list: base letters first, then accents, then case.
bool referenceLess(const QString& a, const QString& b);
// The base letters a word sorts by first.
QString primaryKey(const QString& word);

inline const QStringList kSomeWords = {"a", "at", "cat", "dog", "bird", "apple"};

// A program folder (with dbWords.mdb made from the words, unless there are none), the
// scripted desktop, and the faults and the home-page draw the context hands on.
struct Fixture {
    explicit Fixture(const QStringList& words);
    ~Fixture();
    AppContext context();
    QString folder() const { return dir.path(); }

    QTemporaryDir dir;
    ScriptedDesktop desktop;
    StepFaultHook faults;                                     // asked before every step
    std::function<bool(const QString& progId)> createFailure; // CreateObject fails for these
    double roll = 0.5;                                        // the home-page draw
};

// The handlers on plain controls: no widget anywhere.
struct Harness : Fixture {
    explicit Harness(const QStringList& words = kSomeWords);

    // Runs the start-up; true when it did not end the program.
    bool load();
    QStringList listed(); // the words in the results list
    QString header() const { return controls.ListItems.headerText(); }
    // Picks a filter entry as the user does.
    void choose(int entry);
    // A close request as the window system makes it; ends by throwing ProgramEnded.
    void closeWindow();

    FakeControls controls;
    Form form;
};

QStringList wordsOf(const ResultsModel& list);

} // namespace lexivane::testing
