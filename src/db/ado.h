#pragma once

// Stand-in for the data objects the window code drives by name: a connection that
// opens an Access word database, and a recordset that runs one SQL text over it.
// Every failure throws lexivane::AppError with a description fit for the error report.

#include "apperror.h"
#include "confine.h"

#include <QString>
#include <QStringList>
#include <QUtf8StringView>
#include <functional>
#include <future>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace lexivane::db {
class ReadAhead;
}

namespace lexivane::ado {

class Recordset;

// Where the reader helper lives and the limits it runs under.
struct ReaderOptions {
    QString helperPath;    // empty: "lexivane-words" beside the running executable
    int timeoutMs = 20000; // wall time for the whole read
    qint64 memoryLimitBytes = 1024LL * 1024 * 1024;
    unsigned confinement = confine::kAll; // a test leaves mechanisms out, or runs a script
};

// What the objects CreateObject makes run with; the program uses the defaults, tests set
// their own per object.
struct Options {
    ReaderOptions reader;
    // How long one step of a query (Recordset::Open, MoveNext) may run before it fails with
    // "Query timeout expired"; the SQL may hold the user's own text.
    int commandTimeoutMs = 30000;
    // Tests: CreateObject fails for the identifiers this accepts (empty: never).
    std::function<bool(const QString& progId)> createFailure;
    // A read of the database begun at start-up, which Open takes when it opens that file.
    std::shared_ptr<db::ReadAhead> readAhead;
};

class Object {
  public:
    virtual ~Object() = default;
};

class Connection : public Object {
  public:
    explicit Connection(const Options& options = {});
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int State() const; // 0 closed, 1 open
    // Closes the recordsets opened on it too. Fails when already closed.
    void Close();
    // "Provider=Microsoft.Jet.OLEDB.4.0;Data Source= <path>". Fails when already open.
    void Open(const QString& connectionString);

    // Waits for the word table when it is still being built.
    sqlite3* handle() const {
        ready();
        return db_;
    }

    // Tests: open on these words instead of a file; a null QString stands for NULL.
    void openWordList(const QStringList& words);

  private:
    friend class Recordset;
    // Open reads the file, then builds the sorted word table and its indexes on another
    // thread while the window comes up; every use waits for it here. A build that failed
    // leaves the connection closed and fails the call that waited.
    void ready() const;
    ReaderOptions reader_;
    std::shared_ptr<db::ReadAhead> readAhead_;
    int commandTimeoutMs_;
    mutable sqlite3* db_ = nullptr;
    mutable std::future<void> building_;
    std::vector<Recordset*> recordsets_;
};

// What Fields(k).Value gives: the field's text as the row holds it, read in place. It lasts
// until the recordset moves on or closes; keep a QString of it to hold it longer.
class Variant {
  public:
    operator QString() const { return QString::fromUtf8(text_); }
    QUtf8StringView utf8() const { return text_; }

  private:
    friend class Recordset;
    explicit Variant(QUtf8StringView text) : text_(text) {}
    QUtf8StringView text_;
};

class Field {
  public:
    Variant Value() const;

  private:
    friend class Recordset;
    Field(const Recordset* rs, int index) : rs_(rs), index_(index) {}
    const Recordset* rs_;
    int index_;
};

class Recordset : public Object {
  public:
    Recordset();
    ~Recordset() override;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // cursorType 3 = static, lockType 1 = read-only; the only ones the program uses.
    void Open(const QString& source, Connection* activeConnection, int cursorType, int lockType);
    bool Eof() const;
    Field Fields(int index) const;
    void MoveNext();
    int State() const; // 0 closed, 1 open; never fails
    void Close();

  private:
    friend class Field;
    friend class Connection;
    Variant value(int index) const;
    void requireOpen() const;
    void release();
    sqlite3_stmt* stmt_ = nullptr;
    bool eof_ = true;
    int timeoutMs_ = 0; // the connection's, taken at Open
    Connection* connection_ = nullptr;
};

// Begins reading `database` with the reader helper in `folder`, as a connection with
// `reader`'s limits would, for Open to take (Options::readAhead).
std::shared_ptr<db::ReadAhead> readAhead(const QString& database, const QString& folder,
                                         const ReaderOptions& reader = {});

// Creates "ADODB.Connection" or "ADODB.RecordSet" (identifiers compare without regard
// to case) running with `options`; anything else fails.
std::unique_ptr<Object> CreateObject(const QString& progId, const Options& options = {});

} // namespace lexivane::ado
