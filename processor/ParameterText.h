#pragma once

#include <juce_core/juce_core.h>

// Reading of parameter values written as text: typed into a value box, sent by a host as text,
// or stored in a saved state.
namespace ParameterText
{
// JUCE adds up exponent digits in an int without a bound, so a very long exponent overflows it.
// Any exponent of five digits or more already gives infinity or zero, so it is shortened to 9999.
juce::String withBoundedExponent (const juce::String& text);

// The decimal number the text begins with ("12.5ms" reads 12.5). A text that does not begin with
// one ("nan", "inf", "abc") reads as 0, and a number beyond float's range as float's largest, so
// the result is always finite; the parameter then clamps it to its range.
float valueOf (const juce::String& text);

// The text of a float parameter's plain value as JUCE writes it by default: the decimals its
// interval has, cut to the maximum length when one is given. A value that is not finite (a host
// can set NaN) is written as the fallback, the value that plays instead.
juce::String textOf (float value, float fallback, float interval, int maximumLength);

// The index of the character that a text names, whatever its case and the spaces around it; -1
// when it names none.
int characterIndexOf (const juce::String& text);
}
