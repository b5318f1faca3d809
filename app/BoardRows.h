// The lines a poll writes: one row per tick with a valid reply, in one of three formats. korvane-cli
// writes them as it polls; the program's trend window saves its history as the csv form.
//
//   text  aligned columns under a header, for people
//   csv   a header line, then  t_ms,x,y,left,right            e.g. 100,128,64,UP,UP
//                          or  t_ms,ch0,ch1,...,ch6           e.g. 100,0.00,1.00,2.00,3.00,-5.00,5.00,5.00
//   json  one object per line with the csv column names as keys, no header
//
// t_ms is the tick's time in milliseconds since the first tick (with three decimals in fast mode:
// when the exchange began); volts have two decimals. Every
// line ends with a newline.
#pragma once

#include "BoardLink.h"

#include <string>

/// The exchange a poll runs on every tick.
enum class PollMode { Tilt, Dvm };
/// How a poll writes its rows.
enum class RowFormat { Text, Csv, Json };

/// The header line of `format` for `mode`; empty for json, which has none.
std::string HeaderLine(PollMode mode, RowFormat format);
/// One row for a tilt reply.
std::string TiltRow(RowFormat format, long long tMs, const TiltFrame& frame);
/// One row for a voltage reply: the seven channels in volts.
std::string VoltageRow(RowFormat format, long long tMs, const float volts[7]);
/// The same rows with the time already written out (the fast poll's "12.345").
std::string TiltRow(RowFormat format, const std::string& time, const TiltFrame& frame);
std::string VoltageRow(RowFormat format, const std::string& time, const float volts[7]);
