#pragma once

#include "acm/MMSystem.h"

#include <string>

// The texts of the platform's result codes, one table for every message of a failed call:
// the call's label directly followed by the code's text, which begins with a blank, e.g.
// "WaveOutOpen The specified resource is already in use."; a code without a text gives
// "<label> raised an unknown error (code #n)".

// Whose texts: the wave devices have texts for codes that a conversion stream's calls never
// had texts for, and report those, as any unknown code, by number.
enum class TResultTexts { Conversion, Device };

// The message for a nonzero result code of the call labelled label.
std::string ResultMessage(const std::string& label, MMRESULT code, TResultTexts texts);
