// The words of the instrument's pages: the labels of the settings, the warnings shown in their
// place, and the names of the modes and rates. The pages draw them from here, and so does the
// emulator where it reads a setting off a page for its log ("rate Low -> Medium"): each word is
// typed once. Plain constants, no includes: the emulator takes them without the module's code.
#pragma once

inline constexpr const char* kModeNames[] = {"Cross-Feed", "Load", "Unload", "Vent"};
inline constexpr const char* kModeDirections[] = {" (SRC => TGT)", " (SRC => TGT)", " (TGT => SRC)",
                                                  " (TGT => VENT)"};
inline constexpr const char* kRateNames[] = {"Off", "Low", "Medium", "High"};

// The labels at the start of a setting's row.
inline constexpr const char* kPumpModeLabel = "Pump Mode: ";
inline constexpr const char* kPumpRateLabel = "Pump Rate: ";
inline constexpr const char* kTargetTankLabel = "Target Tank ";
inline constexpr const char* kSourceTankLabel = "Source Tank ";
inline constexpr const char* kDockingPortLabel = "Docking Port ";
inline constexpr const char* kDockedToLabel = "Docked To: ";

// The warnings that stand where a setting would be, drawn with a blank on either side.
inline constexpr const char* kNoTargetTank = "NO TARGET TANK";
inline constexpr const char* kNoSourceTank = "NO SOURCE TANK";
inline constexpr const char* kSingleTankOnly = "SINGLE TANK ONLY";
inline constexpr const char* kOverboardVent = "OVERBOARD VENT";
inline constexpr const char* kNoDockingPorts = "NO DOCKING PORTS";
inline constexpr const char* kNotDocked = "NOT DOCKED";

// The help page's title row carries the instrument's version after this word.
inline constexpr const char* kVersionWord = "Version";
