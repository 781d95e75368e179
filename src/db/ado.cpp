#include "ado.h"

#include "db_reader.h"
#include "wordstore.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <chrono>
#include <sqlite3.h>

namespace lexivane::ado {
namespace {

const QString kClosed = QStringLiteral("Operation is not allowed when the object is closed.");
const QString kAlreadyOpen = QStringLiteral("Operation is not allowed when the object is open.");
const QString kNoCurrentRecord =
    QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                   "Requested operation requires a current record.");

// The step in progress on this thread: its limit, and when SQLite first asked about it
// (through the progress handler set in guard(), every few thousand instructions). Starting
// the clock there rather than before each step keeps a clock read out of every row; the
// first few thousand instructions of a step go unmeasured.
struct StepClock {
    int limitMs = 0; // 0: no step of ours is running
    std::chrono::steady_clock::time_point started;
};
thread_local StepClock t_step;

int stepWithTimeout(sqlite3_stmt* stmt, int limitMs) {
    t_step.limitMs = limitMs;
    t_step.started = {};
    const int rc = sqlite3_step(stmt);
    t_step.limitMs = 0;
    return rc;
}

int pastDeadline(void*) {
    StepClock& step = t_step;
    if (step.limitMs == 0) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (step.started == std::chrono::steady_clock::time_point{}) {
        step.started = now;
        return 0;
    }
    return now - step.started > std::chrono::milliseconds(step.limitMs);
}

QString stepError(sqlite3* db, int rc) {
    if (rc == SQLITE_INTERRUPT) return QStringLiteral("Query timeout expired");
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// Limits for user-supplied SQL: no runaway steps, no giant strings.
void guard(sqlite3* db) {
    sqlite3_progress_handler(db, 10000, pastDeadline, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
}

QString sqliteMessage(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

struct ConnectionString {
    QString provider;
    QString dataSource;
};

bool isKnownKey(const QString& key) {
    static const QStringList known = {
        QStringLiteral("provider"), QStringLiteral("data source"),
        QStringLiteral("user id"),  QStringLiteral("password"),
        QStringLiteral("mode"),     QStringLiteral("persist security info")};
    return known.contains(key) || key.startsWith(QLatin1String("jet oledb:"));
}

// Keys compare without regard to case or spacing; values are trimmed. A path may itself hold
// ';', so a piece that is not "known key=value" goes back onto the value before it.
ConnectionString parseConnectionString(const QString& text) {
    ConnectionString result;
    QString* last = nullptr;
    const QStringList pieces = text.split(QLatin1Char(';'));
    for (const QString& piece : pieces) {
        const qsizetype eq = piece.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? QString() : piece.left(eq).simplified().toLower();
        if (eq < 0 || !isKnownKey(key)) {
            if (last && !piece.isEmpty())
                *last = (*last + QLatin1Char(';') + piece);
            else if (!piece.trimmed().isEmpty())
                throw AppError(QStringLiteral("Format of the initialization string is not valid: "
                                              "\"%1\" is not a key=value pair.")
                                   .arg(piece.trimmed()));
            continue;
        }
        QString value = piece.mid(eq + 1);
        if (key == QLatin1String("provider")) {
            result.provider = value;
            last = &result.provider;
        } else if (key == QLatin1String("data source")) {
            result.dataSource = value;
            last = &result.dataSource;
        } else {
            last = nullptr;
        }
    }
    result.provider = result.provider.trimmed();
    result.dataSource = result.dataSource.trimmed();
    for (QString* v : {&result.provider, &result.dataSource}) {
        if (v->size() >= 2 &&
            (v->startsWith(QLatin1Char('"')) || v->startsWith(QLatin1Char('\''))) &&
            v->endsWith(v->front()))
            *v = v->mid(1, v->size() - 2);
    }
    return result;
}

QString helperIn(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("lexivane-words" LEXIVANE_EXE_SUFFIX));
}

QString defaultHelper() {
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty()) dir = QDir::currentPath();
    return helperIn(dir);
}

db::ReadLimits readLimits(const ReaderOptions& reader, const QString& helper) {
    db::ReadLimits limits;
    limits.helperPath = helper;
    limits.timeoutMs = reader.timeoutMs;
    limits.memoryLimitBytes = reader.memoryLimitBytes;
    limits.confinement = reader.confinement;
    return limits;
}

} // namespace

// ---- Connection ----

Connection::Connection(const Options& options)
    : reader_(options.reader), readAhead_(options.readAhead),
      commandTimeoutMs_(std::max(1, options.commandTimeoutMs)) {}

Connection::~Connection() {
    try {
        ready();
    } catch (const AppError&) {
        // nothing left to close
    }
    if (db_) Close();
}

void Connection::ready() const {
    if (!building_.valid()) return;
    try {
        building_.get();
    } catch (...) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
}

int Connection::State() const {
    try {
        ready();
    } catch (const AppError&) {
        // a failed build leaves the connection closed
    }
    return db_ ? 1 : 0;
}

void Connection::Close() {
    ready();
    if (!db_) throw AppError(kClosed);
    for (Recordset* rs : std::vector<Recordset*>(recordsets_))
        rs->release();
    recordsets_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void Connection::Open(const QString& connectionString) {
    ready();
    if (db_) throw AppError(kAlreadyOpen);
    const ConnectionString cs = parseConnectionString(connectionString);
    if (cs.provider.isEmpty())
        throw AppError(QStringLiteral("Provider cannot be found. It may not be properly installed. "
                                      "(The connection string names no provider.)"));
    if (cs.provider.compare(QLatin1String("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) != 0)
        throw AppError(QStringLiteral("Provider cannot be found. It may not be properly installed. "
                                      "(\"%1\")")
                           .arg(cs.provider));
    if (cs.dataSource.isEmpty())
        throw AppError(QStringLiteral("The connection string names no database file "
                                      "(\"Data Source\" is missing or empty)."));

    const db::ReadLimits limits =
        readLimits(reader_, reader_.helperPath.isEmpty() ? defaultHelper() : reader_.helperPath);

    auto failure = [source = cs.dataSource](const std::exception& e) {
        return AppError(
            QStringLiteral("Cannot open the word database \"%1\": %2.")
                .arg(QDir::toNativeSeparators(source), QString::fromLocal8Bit(e.what())));
    };
    sqlite3* db = nullptr;
    auto words = std::make_shared<db::WordTable>();
    try {
        // Everything that can be wrong with the file shows here, at Open.
        std::optional<db::WordTable> ahead;
        if (readAhead_) ahead = readAhead_->take(cs.dataSource, limits);
        *words = ahead ? std::move(*ahead) : db::readWords(cs.dataSource, limits);
        db = db::openStore();
    } catch (const AppError&) {
        sqlite3_close_v2(db);
        throw;
    } catch (const std::exception& e) {
        sqlite3_close_v2(db);
        throw failure(e);
    }
    db_ = db;
    building_ = std::async(std::launch::async, [db, words, failure] {
        try {
            db::loadWords(db, *words);
            guard(db);
        } catch (const AppError&) {
            throw;
        } catch (const std::exception& e) {
            throw failure(e);
        }
    });
}

void Connection::openWordList(const QStringList& words) {
    ready();
    if (db_) throw AppError(kAlreadyOpen);
    db::WordTable table;
    for (const QString& w : words) {
        if (w.isNull()) {
            table.addNull();
        } else {
            const QByteArray utf8 = w.toUtf8();
            table.add(utf8.constData(), static_cast<size_t>(utf8.size()));
        }
    }
    sqlite3* db = db::openStore();
    try {
        db::loadWords(db, table);
        guard(db);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    db_ = db;
}

// ---- Recordset ----

Recordset::Recordset() = default;

Recordset::~Recordset() {
    release();
}

void Recordset::release() {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    eof_ = true;
    if (connection_) {
        auto& list = connection_->recordsets_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        connection_ = nullptr;
    }
}

void Recordset::requireOpen() const {
    if (!stmt_) throw AppError(kClosed);
}

void Recordset::Open(const QString& source, Connection* activeConnection, int, int) {
    if (stmt_) throw AppError(kAlreadyOpen);
    if (activeConnection) activeConnection->ready();
    if (!activeConnection || !activeConnection->db_) throw AppError(kClosed);
    sqlite3* db = activeConnection->db_;
    const QByteArray sql = source.toUtf8();
    const char* tail = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &stmt, &tail) !=
        SQLITE_OK)
        throw AppError(QStringLiteral("%1 (in \"%2\")").arg(sqliteMessage(db), source));
    if (!stmt) throw AppError(QStringLiteral("The command text holds no SQL statement."));
    // Only one statement per text, as the engine this stands in for allows.
    const QByteArray rest =
        QByteArray(tail, static_cast<qsizetype>(sql.constData() + sql.size() - tail)).trimmed();
    if (!rest.isEmpty() && rest != ";") {
        sqlite3_finalize(stmt);
        throw AppError(
            QStringLiteral("Characters found after end of SQL statement. (in \"%1\")").arg(source));
    }
    const int rc = stepWithTimeout(stmt, activeConnection->commandTimeoutMs_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        const QString msg = stepError(db, rc);
        sqlite3_finalize(stmt);
        throw AppError(QStringLiteral("%1 (in \"%2\")").arg(msg, source));
    }
    stmt_ = stmt;
    eof_ = rc == SQLITE_DONE;
    timeoutMs_ = activeConnection->commandTimeoutMs_;
    connection_ = activeConnection;
    activeConnection->recordsets_.push_back(this);
}

bool Recordset::Eof() const {
    requireOpen();
    return eof_;
}

Field Recordset::Fields(int index) const {
    requireOpen();
    if (index < 0 || index >= sqlite3_column_count(stmt_))
        throw AppError(QStringLiteral("Item cannot be found in the collection corresponding to the "
                                      "requested name or ordinal."));
    return Field(this, index);
}

void Recordset::MoveNext() {
    requireOpen();
    if (eof_) throw AppError(kNoCurrentRecord);
    const int rc = stepWithTimeout(stmt_, timeoutMs_);
    if (rc == SQLITE_ROW) return;
    eof_ = true;
    if (rc != SQLITE_DONE) throw AppError(stepError(sqlite3_db_handle(stmt_), rc));
}

int Recordset::State() const {
    return stmt_ ? 1 : 0;
}

void Recordset::Close() {
    requireOpen();
    release();
}

Variant Recordset::value(int index) const {
    requireOpen();
    if (eof_) throw AppError(kNoCurrentRecord);
    if (index < 0 || index >= sqlite3_column_count(stmt_))
        throw AppError(QStringLiteral("Item cannot be found in the collection corresponding to the "
                                      "requested name or ordinal."));
    if (sqlite3_column_type(stmt_, index) == SQLITE_NULL)
        throw AppError(QStringLiteral("Invalid use of Null"));
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
    return Variant(QUtf8StringView(text, sqlite3_column_bytes(stmt_, index)));
}

Variant Field::Value() const {
    return rs_->value(index_);
}

std::shared_ptr<db::ReadAhead> readAhead(const QString& database, const QString& folder,
                                         const ReaderOptions& reader) {
    return std::make_shared<db::ReadAhead>(database, readLimits(reader, helperIn(folder)));
}

// ---- creation ----

std::unique_ptr<Object> CreateObject(const QString& progId, const Options& options) {
    const QString id = progId.trimmed();
    const bool known = id.compare(QLatin1String("ADODB.Connection"), Qt::CaseInsensitive) == 0 ||
                       id.compare(QLatin1String("ADODB.RecordSet"), Qt::CaseInsensitive) == 0;
    if (!known || (options.createFailure && options.createFailure(progId)))
        throw AppError(
            QStringLiteral("ActiveX component can't create object (\"%1\")").arg(progId));
    if (id.compare(QLatin1String("ADODB.Connection"), Qt::CaseInsensitive) == 0)
        return std::make_unique<Connection>(options);
    return std::make_unique<Recordset>();
}

} // namespace lexivane::ado
