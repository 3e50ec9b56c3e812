// The filter as its callers see it: a conversion run over the open streams, its end, and what
// it met (the classes, a missed SYNC tag or class).
#pragma once

#include "conversion_state.h"
#include "read_buffer.h"

// The loop that repeats the steps, and its end.
void RunConversion(ConversionMode mode);
void CloseStreams();
void ForgetConversion();

// True after a Sync Save of an input without a complete SYNC tag: nothing was written.
bool MissedSyncTag();

// True when a class was chosen and no P tag of the input had it.
bool MissedChosenClass();

// The entry of class_list for class_name, in any case; -1 when it has none.
int FindListedClass(const char *class_name);
// Whether two class names are the same class: in any case.
bool SameClassName(const char *left, const char *right);
// Which name of the chosen list class_name is, from 0; -1 for none.
int ChosenClassIndex(const char *class_name);
// The first name of the chosen list no P tag had, at out; false when none.
bool MissedClassName(char *out);

// Reads the whole input, writing nothing, to fill class_list and each class's sample.
void ListParagraphClasses();
