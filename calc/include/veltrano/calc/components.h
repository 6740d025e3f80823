// The component table: pure components (vapour pressure, critical and
// boiling points, heat of vaporisation, liquid volume) and the binary pairs
// with the activity model that describes them. The built-in table is data,
// a TSV file the build embeds; a user's file in the same format joins it.
//
// The format, as `veltrano-cli mixtures` prints it: UTF-8, TAB-separated,
// `#` starts a comment line. A header row starting with `name` opens the
// components, one starting with `light` the pairs:
//   name chinese A B C Tmin Tmax Tc Tb Hvap V source
//   light heavy model a12 a21 alpha source
// Temperatures in K; Antoine log10(P/Pa) = A - B / (T/K + C); Hvap at Tb in
// kJ/mol; V in cm3/mol, empty where unknown; model ideal, NRTL, Wilson or
// vanLaar; a12, a21 in K (NRTL, Wilson: a = A/R of a source in cal/mol) or
// dimensionless (van Laar); alpha for NRTL only. Numbers with a decimal
// point, never a comma.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::calc {

struct Component {
    std::string name;     // English, as the command line names it: "ethanol"
    std::string chinese;  // "乙醇"
    double A, B, C;       // Antoine constants: log10(P/Pa) = A - B / (T/K + C)
    double T_min, T_max;  // where they hold, K
    double T_c, T_b;      // critical temperature, normal boiling point, K
    double H_vap;         // heat of vaporisation at T_b, kJ/mol
    std::optional<double> V;  // liquid molar volume, cm3/mol, for Wilson
    std::string source;
};

enum class ActivityModel { kIdeal, kNrtl, kWilson, kVanLaar };

// The model's name as the table writes it: "ideal", "NRTL", "Wilson", "vanLaar".
std::string_view model_name(ActivityModel model);

struct Pair {
    std::string light, heavy;  // component names; 1 is the light, 2 the heavy
    ActivityModel model = ActivityModel::kIdeal;
    double a12 = 0, a21 = 0;      // K; dimensionless for van Laar
    std::optional<double> alpha;  // NRTL's non-randomness
    std::string source;
};

struct ComponentTable {
    std::vector<Component> components;
    std::vector<Pair> pairs;

    // By English or Chinese name, English case-insensitively; null when absent.
    const Component* find(std::string_view name) const;
};

// The table the program ships, each row with its source.
const ComponentTable& builtin_components();

// A table in the format above. Error 5 naming `origin` and the line for a
// row that is malformed or breaks a physical rule (Tc <= 0, Tmin >= Tmax,
// a number that is not one), or a row given twice.
ComponentTable read_components(std::string_view text, const std::string& origin);

// `extra` joins `base`: a component of the same name, or a pair of the same
// two components in either order, replaces the one in `base` whole.
ComponentTable merged(ComponentTable base, const ComponentTable& extra);

// The table in the format above, every number in shortest round-trip form:
// read back, it gives the same table.
std::string components_tsv(const ComponentTable& table);

// Two components and how they interact, oriented as asked: component 1 is
// the first named, and a pair the table lists the other way round has its
// indices swapped (a12 <-> a21).
struct Mixture {
    Component first, second;
    Pair pair;  // light = first, heavy = second after orientation
};

// The mixture `first`/`second` from `table`. Error 5 for an unknown name or
// pair (with the names or pairs there are), a pair with one component twice,
// or a Wilson pair without both volumes. `ideal` takes Raoult's law for
// any two components, whether the table has their pair or not.
Mixture mixture_of(const ComponentTable& table, std::string_view first, std::string_view second, bool ideal);

}  // namespace veltrano::calc
