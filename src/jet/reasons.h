#pragma once

// The words of engine errors, shared by the program and the engine process.
// A message is "<what failed> <file>: <reason>." so it always names the file.

#include <QLatin1String>
#include <QString>

namespace kolta::jet {

// A file, table or user name as messages show it: in double quotes.
inline QString quoted(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace kolta::jet

namespace kolta::jet::reasons {

// What failed; %1 the file (quoted), for a table %1 the table and %2 the file.
inline constexpr QLatin1String CannotOpen{"Cannot open %1"};
inline constexpr QLatin1String CannotReadTables{"Cannot read the tables of %1"};
inline constexpr QLatin1String CannotReadTable{"Cannot read the table %1 of %2"};
inline constexpr QLatin1String CannotReadLinkedTable{"Cannot read the linked table %1 of %2"};
inline constexpr QLatin1String CannotRun{"Cannot run the statement on %1"};
inline constexpr QLatin1String CannotReadRows{"Cannot read further rows of the statement on %1"};

// Why.
inline constexpr QLatin1String Damaged{"the database file is damaged or unreadable"};
// The engine may fail on a sound file too: these say what happened and that
// the file is only one possible cause.
inline constexpr QLatin1String EngineStopped{
    "the database engine stopped while reading the file (the file may be damaged)"};
inline constexpr QLatin1String EngineSilent{
    "the database engine did not answer within %1 seconds while reading the file (the file may be damaged)"};
inline constexpr QLatin1String EngineEnded{"it stopped before it answered"};
// A statement may stop the engine without any fault of the file (too deep,
// too large): the death is worded by what it was doing.
inline constexpr QLatin1String EngineStoppedRunning{"the database engine stopped while running the statement"};
inline constexpr QLatin1String EngineStoppedReading{"the database engine stopped while reading the result"};
inline constexpr QLatin1String ResultLost{
    "the database engine was stopped since, so its rows are gone; press Set to run it again"};
inline constexpr QLatin1String Busy{"the database engine is busy with another request"};
inline constexpr QLatin1String EngineMute{"it did not answer within %1 seconds"};
inline constexpr QLatin1String Garbled{"the database engine gave a garbled answer"};
inline constexpr QLatin1String Stopped{"stopped"};
inline constexpr QLatin1String StatementTooLong{"the statement did not finish within %1 minutes"};
inline constexpr QLatin1String CatalogDamaged{"the database file is damaged (its catalog cannot be read)"};
inline constexpr QLatin1String PagesInCircle{"the database file is damaged (a table's pages run in a circle)"};
inline constexpr QLatin1String CatalogPastEnd{
    "the database file is damaged or unreadable (its catalog points past the end of the file)"};
// %1 the table.
inline constexpr QLatin1String RowsMissing{
    "the database file is damaged or unreadable (not all rows of the table %1 can be read)"};
inline constexpr QLatin1String PageRowsDamaged{
    "the database file is damaged or unreadable (a page of the table %1 counts more rows than it holds)"};
inline constexpr QLatin1String IndexDamaged{
    "the database file is damaged or unreadable (an index of a table does not match its rows; run the statement "
    "again to read the table without it)"};
// %1 the column.
inline constexpr QLatin1String LongValueMissing{
    "the database file is damaged or unreadable (a value of the column %1 is cut short)"};

// Jet's own words for a password that does not fit the account.
inline constexpr QLatin1String NotValidAccount{"Not a valid account name or password"};
// %1 the user.
inline constexpr QLatin1String PasswordLeftToServer{
    "The password of the user \"%1\" cannot be checked here; the web server checks it when the page opens the database."};

// Answers of the engine to requests that cannot come from this program.
inline constexpr QLatin1String UnknownRequest{"The engine received a garbled or unknown request."};
inline constexpr QLatin1String NotOpen{"The database is not open in the engine."};

} // namespace kolta::jet::reasons
