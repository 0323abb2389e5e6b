#pragma once

// Jet's own wording for the errors users see, and our reasons for refusals.

#include <QtGlobal>

namespace kolta::jetsql::texts {

inline constexpr char kSyntaxFrom[] = "Syntax error in FROM clause.";
inline constexpr char kSyntaxJoin[] = "Syntax error in JOIN operation.";
inline constexpr char kSyntaxOrderBy[] = "Syntax error in ORDER BY clause.";
inline constexpr char kSyntaxGroupBy[] = "Syntax error in GROUP BY clause.";
inline constexpr char kSyntaxMissingOperator[] = "Syntax error (missing operator) in query expression '%1'.";
inline constexpr char kSyntaxExpression[] = "Syntax error in query expression '%1'.";
inline constexpr char kSyntaxString[] = "Syntax error in string in query expression '%1'.";
inline constexpr char kSyntaxDate[] = "Syntax error in date in query expression '%1'.";
inline constexpr char kSyntaxSelect[] =
    "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, "
    "or the punctuation is incorrect.";
inline constexpr char kInvalidStatement[] =
    "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.";
inline constexpr char kCharactersAfterEnd[] = "Characters found after end of SQL statement.";
inline constexpr char kMissingTable[] =
    "The Microsoft Jet database engine cannot find the input table or query '%1'. "
    "Make sure it exists and that its name is spelled correctly.";
inline constexpr char kTooFewParameters[] = "Too few parameters. Expected %1.";
inline constexpr char kSyntaxParameters[] = "Syntax error in PARAMETER clause.";
inline constexpr char kDuplicateParameter[] = "The parameter [%1] is declared twice.";
inline constexpr char kAmbiguousField[] =
    "The specified field '%1' could refer to more than one table listed in the FROM clause of your SQL statement.";
inline constexpr char kUndefinedFunction[] = "Undefined function '%1' in expression.";
inline constexpr char kWrongArgumentCount[] = "Wrong number of arguments used with function in query expression '%1'.";
inline constexpr char kTypeMismatch[] = "Data type mismatch in criteria expression.";
inline constexpr char kNotAggregated[] =
    "You tried to execute a query that does not include the specified expression '%1' as part of an "
    "aggregate function.";
inline constexpr char kAggregateInWhere[] = "Cannot have aggregate function in WHERE clause (%1).";
inline constexpr char kAggregateInGroupBy[] = "Cannot have aggregate function in GROUP BY clause (%1).";
inline constexpr char kNestedAggregate[] = "Cannot have aggregate function in expression (%1).";
inline constexpr char kDuplicateAlias[] = "Duplicate output alias '%1'.";
inline constexpr char kCircularAlias[] = "Circular reference caused by alias '%1' in query definition's SELECT list.";
inline constexpr char kSubqueryFields[] =
    "You have written a subquery that can return more than one field without using the EXISTS reserved word "
    "in the main query's FROM clause. Revise the SELECT statement of the subquery to request only one field.";
inline constexpr char kSubqueryRows[] = "At most one record can be returned by this subquery.";
inline constexpr char kUnionColumns[] =
    "The number of columns in the two selected tables or queries of a union query do not match.";
inline constexpr char kUnionOrderBy[] =
    "The ORDER BY expression (%1) includes fields that are not selected by the query. "
    "Only those fields requested in the first query can be included in an ORDER BY expression.";
inline constexpr char kDistinctOrderBy[] = "ORDER BY clause (%1) conflicts with DISTINCT.";
inline constexpr char kCircularQuery[] = "Circular reference caused by '%1'.";
inline constexpr char kNoFields[] = "Query must have at least one destination field.";
inline constexpr char kTooComplex[] = "Query is too complex.";
inline constexpr char kSyntaxTransform[] = "Syntax error in TRANSFORM statement.";
inline constexpr char kTooManyHeadings[] = "Too many crosstab column headers (%1).";
inline constexpr char kCrosstabNeedsData[] = "The column headings of a crosstab query come from its rows; "
                                              "there is no database to read them from.";

// Where the web server's provider reads a statement otherwise than the try.
inline constexpr char kNoteLike[] =
    "The server reads Like with % and _: to get these rows there too, write %1 in place of %2.";
inline constexpr char kNoteLikeInQuery[] =
    "The server reads Like with % and _: in the saved query %3, write %1 in place of %2.";

// Refusals: the program only reads.
inline constexpr char kRefusedAction[] =
    "%1 statements change the database; only SELECT queries can be run here (the database is opened read-only).";
inline constexpr char kRefusedSelectInto[] =
    "SELECT ... INTO creates a table; only SELECT queries that read can be run here.";
inline constexpr char kRefusedDefinition[] =
    "%1 statements change the database's design; only SELECT queries can be run here.";
inline constexpr char kRefusedExternal[] =
    "Tables of other databases (IN '...' or [;DATABASE=...]) are not read here; only the open database is.";
inline constexpr char kRefusedProcedure[] = "%1 statements are not supported here; only SELECT queries can be run.";

// Run-time errors raised by the VBA functions.
inline constexpr char kOverflow[] = "Overflow";
inline constexpr char kInvalidUseOfNull[] = "Invalid use of Null";
inline constexpr char kInvalidCall[] = "Invalid procedure call or argument";
inline constexpr char kDivisionByZero[] = "Division by zero";
inline constexpr char kOutOfStringSpace[] = "Out of string space";
inline constexpr char kOutOfMemory[] = "Out of memory";

// How deep a statement may nest (parentheses, Not, calls, subqueries,
// operators of one kind in a row). The parser, the translator and SQLite all
// recurse over it: the bound keeps them far from the end of the stack, and
// SQLite refuses much less (its expression depth ends at 1000, its parser
// stack sooner) with the same words.
inline constexpr int kMaxDepth = 200;
// Saved queries reading saved queries, and subqueries in subqueries.
inline constexpr int kMaxQueryNesting = 50;
// The longest text a function may make, in characters: well inside the
// engine's memory even with the copies a value passes through.
inline constexpr qsizetype kMaxTextChars = qsizetype(1) << 25;

} // namespace kolta::jetsql::texts
