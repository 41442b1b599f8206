#pragma once
// Texts a person types that go into records (a serial, an operator's name, a note):
// a NUL or another control character is refused where it is typed, with the field
// named, so no record carries one to a store or a plant that cannot take it.
#include <QString>

// Empty when the text may be kept; else why not, naming the field.
QString RecordTextProblem(const QString &field, const QString &text);
