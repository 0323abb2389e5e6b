#pragma once

// Text values as Jet stores them as index keys, so that a text index can be
// searched for a value, and so that the engine knows when the order of an
// index agrees with its own text comparison (functions::compareJet).
//
// A text key, as an ascending index stores it after the 0x7f flag byte:
//
//   Jet 3, 1033 General:
//     [weights: one byte per character (two for Æ Œ ß), each >= 0x10] 00
//   or, when a character has an accent, in place of the 00, nibbles (high
//   first, each byte below 0x10 at the start): 0, then for each accented
//   character a 2 for each letter of A C E I N O S U Y (either case) since
//   the previous accented one and the accent's number, then 0, padded with 0.
//   Jet 4 "General" (1033 version 0; Access 2010 calls it "General legacy"):
//     [one or two weight bytes per character] 01 [trailer] 00
//   Access 2010 and later "General" (1033 version 1):
//     [two weight bytes per character] 01 [trailer] 00
//
// The weights are the primary part: upper and lower case share a weight,
// and trailing spaces are left out (so public notes say; no file shows one,
// and textKey refuses such text). In Jet 4 and Access 2010 an apostrophe
// or hyphen has no weight; the trailer then records it:
//   01 01 01, then for each such character 2 bytes big-endian
//   0x8000 | (7 + 4 * n) with n the number of weighted characters before it,
//   then 06 and the character's own code (0x80 apostrophe, 0x82 hyphen).
// In Jet 4 and Access 2010 accented and other characters add further bytes
// after the first 01, one a weighted character: 02 for none (left off at the
// end), the others a code of their own; an emoticon's two halves each add
// 3F. textKey refuses the other characters, but stored keys of other values
// may hold them.
//
// A descending index stores the key's bytes inverted; Jet 4 and Access 2010
// then add one more 00, by public notes: the files hold descending text
// indexes of Jet 3 only. That and the flag byte are left to the caller.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace kolta::jet::engine {

enum class TextOrder { Unknown, Jet3General, Jet4General, Access2010General };

// Which order a text or memo column's definition names. Jet 3 (jetVersion
// 0): sortOrder is the little-endian 2 bytes at offset 9 of the column's
// 18-byte block, version is unused. Jet 4 and later: sortOrder is the 2
// bytes at offset 11 of the 25-byte block, version the byte at offset 14.
// 0x0409 is General; any other order, or version, is Unknown.
TextOrder textOrder(int jetVersion, quint16 sortOrder, quint8 version);

// The same from the column's block as it lies in the table definition.
TextOrder textOrder(int jetVersion, const unsigned char *columnBlock);

// The key bytes of text in an ascending index of this order, after the
// flag byte, up to and including the final 00. Nothing when text holds a
// character whose key has not been checked against files Access wrote, ends
// in a space (Jet 3: or a tab or no-break space, which weigh as one), or is
// longer than 255 characters.
//   Jet 3: windows-1252 (what Jet 3 text decodes to), tab and the control
//          characters but U+001A; the bytes windows-1252 leaves unassigned
//          as U+0081, U+008D, U+008F, U+0090, U+009D.
//   Jet 4: printable ASCII (0x20-0x7E).
//   Access 2010: space - . _ 0-9, the letters A-Y, a-y and the emoticons
//                U+1F600-U+1F64F (not with a hyphen in the same text).
std::optional<QByteArray> textKey(const QString &text, TextOrder order);

// The primary part of text's key (its weights, without the separator) when
// text is "safe": made only of
//   Jet 3:        space ! " # $ % & ' ( ) * + , - . / 0-9 A-Z a-z
//   Jet 4:        space ! " # $ % & ( ) * , . / 0-9 A-Z a-z
//   Access 2010:  space . 0-9 A-Y a-y
// and not ending in a space. For safe a and b, memcmp of their primary parts
// orders them as compareJet does, and gives 0 exactly when compareJet does.
// Nothing for any other text.
std::optional<QByteArray> primaryKeyPart(const QString &text, TextOrder order);

// The stored ascending keys whose primary part is primary: from lower
// (inclusive) to upper (exclusive), compared bytewise. For safe text, every
// stored value compareJet finds equal to it lies in this range (except
// values holding a non-ASCII character that folds to an ASCII letter, such as
// U+212A KELVIN SIGN); the range may also hold values that only differ from
// it in trailing spaces, apostrophes, hyphens or accents, which the caller
// sorts out with compareJet.
struct KeyRange
{
    QByteArray lower;
    QByteArray upper;
};
KeyRange primaryRange(const QByteArray &primary, TextOrder order);

} // namespace kolta::jet::engine
