// The items of the instrument's scenario block. Writer and reader use these same constants, so
// what one writes the other recognises.
#pragma once

#include <cstddef>

inline constexpr char kItemPumpMode[] = "PUMPMODE";
inline constexpr char kItemPumpRate[] = "PUMPRATE";
inline constexpr char kItemDockPort[] = "DOCKPORT";
inline constexpr char kItemTargetTank[] = "TARGETTANK";
inline constexpr char kItemSourceTank[] = "SOURCETANK";
// The vessel the configuration belongs to, written only when that is not the writing display's
// own vessel (an external display stuck to another vessel set it up last): its value is the
// vessel's name, or nothing for a name the block cannot carry. Readers before it skip the line.
inline constexpr char kItemTargetVessel[] = "TARGETVESSEL";

// The reader tries the items in this order; the first whose name begins the line takes it.
enum class ScenarioItem { PumpMode, PumpRate, DockPort, TargetTank, SourceTank, TargetVessel };
inline constexpr const char* kScenarioItems[] = {kItemPumpMode,   kItemPumpRate,   kItemDockPort,
                                                 kItemTargetTank, kItemSourceTank, kItemTargetVessel};
inline constexpr size_t kScenarioItemCount = sizeof kScenarioItems / sizeof kScenarioItems[0];

// "SOURCETANK" value: the source tank's index, the separator and the source vessel's name.
inline constexpr char kSourceTankFormat[] = "%d:%s";
inline constexpr char kSourceTankSeparator = ':';
// The value without the name, for a name the block cannot carry: the reader takes the index
// and leaves the source vessel as it is.
inline constexpr char kSourceTankIndexFormat[] = "%d";
static_assert(kSourceTankFormat[2] == kSourceTankSeparator);

// Buffer for the "SOURCETANK" value when written and for the name when read: at most 79
// characters and the terminator.
inline constexpr std::size_t kScenarioValueSize = 80;
