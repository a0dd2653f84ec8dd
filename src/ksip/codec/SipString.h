#pragma once

// The SIP layer keeps its texts as zero-terminated byte strings that it owns:
// copied on store, freed on replace. These are the helpers every SIP class
// uses for them, so that "missing" and "empty" are treated the same way
// everywhere.
class SipString
{
public:
    // True for a missing string and for "".
    static bool isEmpty(const char *s);
    // Byte-wise comparison like strcmp; a missing string sorts before any
    // present one (two missing strings are equal).
    static int compare(const char *a, const char *b);
    // Byte-wise comparison that folds a..z to upper case. Whole strings are
    // compared: a prefix is not equal to the longer string, and an empty
    // string equals only an empty or missing one.
    static int caseCompare(const char *a, const char *b);
    static bool caseEqual(const char *a, const char *b) { return caseCompare(a, b) == 0; }
    // Byte-wise equality in which a missing string equals only a missing or
    // empty one.
    static bool equal(const char *a, const char *b);
    // New copy owned by the caller (free with clear); null stays null.
    static char *duplicate(const char *s);
    // Frees *field and sets it to null.
    static void clear(char **field);
    // Replaces *field with a copy of `value` (freeing the old text). Giving
    // the same pointer that is stored leaves it alone.
    static void assign(char **field, const char *value);
};
