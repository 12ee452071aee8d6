#pragma once

#include <QString>

// Whether `text` is a CSS selector list (Selectors Level 4's grammar, the CSS Syntax
// tokenizer), checked without the engine so that thumbrix-batch can refuse one before the
// engine starts. Each --hide selector becomes a rule of its own in one style sheet, so one
// that leaves a comment, string, bracket or escape open would swallow the rules after it:
// those are refused, as are at-rules, braces and anything that is not a selector. Names of
// pseudo-classes and pseudo-elements are not checked: the engine knows its own.
bool IsCssSelectorList(const QString& text);
