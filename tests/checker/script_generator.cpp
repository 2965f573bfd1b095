#include "script_generator.h"

#include <string>

namespace plan_fuzz {

namespace {

// splitmix64: small, and the same numbers everywhere (the standard library's
// distributions are not).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    bool Percent(int p) { return Below(100) < p; }
    template <size_t N>
    const char *Pick(const char *const (&items)[N]) { return items[Below(static_cast<int>(N))]; }

private:
    std::uint64_t state_;
};

const char *const kMachines[] = {"norvik", "talberg", "plain"};
const char *const kReleases[] = {"win95", "win98", "nt4", "win2k", "xp", "vista", "win7", "win10"};
const char *const kCommandSections[] = {"S1", "S2", "S3", "S4"};
const char *const kOtherTargets[] = {"Empty", "Gone", "CommandsList", ""};
const char *const kStepValues[] = {"1", "2", "3", "0", "-1", "0x2", "0X2", "0b10", "+1", " 2", "x", "", "40"};
const char *const kIdLines[] = {"0x0A7C", "A7C", "0a7c", "2684", "1234", "0x04D2", "04D2", "30AB", "junk", " 0x0A7C "};
const char *const kWords[] = {"start", "copy done", "Hello", "next", "after the restart", "x"};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : random_(seed) {}

    GeneratedCase Make() {
        GeneratedCase made;
        made.machine = random_.Pick(kMachines);
        made.release = random_.Pick(kReleases);
        body_ = &made.body;
        for (const char *key : {"DecCommand", "IncCommand"})
            if (random_.Percent(45)) Line(std::string(key) + "=" + Step(key[0] == 'D'));
        if (random_.Percent(15)) Line(std::string("Debug=") + (random_.Percent(50) ? "1" : "0"));

        Line("[Variables]");
        for (int v = 1; v <= 3; ++v)
            if (random_.Percent(70)) Line("V00" + std::to_string(v) + "=" + Target(false));

        const int total = 5 + random_.Below(21);
        int sizes[5] = {1, 0, 0, 0, 0};
        for (int i = 1; i < total; ++i) ++sizes[random_.Below(5)];
        const char *names[5] = {"CommandsList", "S1", "S2", "S3", "S4"};
        for (int s = 0; s < 5; ++s) {
            Line(std::string("[") + names[s] + "]");
            for (int c = 0; c < sizes[s]; ++c) Line(random_.Percent(4) ? "  ; a line of comment" : Command());
        }
        if (random_.Percent(10)) {
            Line("[s2]");  // a second section of the name: never read
            Line("32,from the second [S2]");
        }
        Line("[Empty]");
        if (random_.Percent(50)) Line("; only a comment");
        Line("[Boards]");
        for (int i = 0, n = 1 + random_.Below(3); i < n; ++i) Line(random_.Pick(kIdLines));
        Line("[Values]");
        Line(std::string("DATA,") + (random_.Percent(50) ? "IncCommand" : " DecCommand ") + "," + Step(false));
        Line("Variables,V00" + std::to_string(1 + random_.Below(3)) + "," + Target(false));
        Line("[Names]");
        Line("V00" + std::to_string(1 + random_.Below(3)) + "," + Target(false));
        Line("[Ask.US]");
        Line("Title=Question");
        Line("Message1=Go on?");
        return made;
    }

private:
    Random random_;
    std::vector<std::string> *body_ = nullptr;

    void Line(const std::string &text) { body_->push_back(text); }

    // A step width for 6 or 7; going back is kept small and rare, since nearly
    // every 6 that goes back makes a loop that only the bound ends.
    std::string Step(bool back) { return back && random_.Percent(60) ? "0" : random_.Pick(kStepValues); }

    std::string Blanked(const std::string &text) {
        switch (random_.Below(8)) {
        case 0: return " " + text;
        case 1: return text + " ";
        case 2: return "\t" + text + "  ";
        case 3: return "\"" + text + "\"";
        default: return text;
        }
    }

    std::string Cased(std::string text) {
        const int choice = random_.Below(10);
        for (char &c : text) {
            if (choice == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (choice == 1 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return text;
    }

    // A section name as an argument: mostly a command section, sometimes one
    // that is empty, missing or running, or a variable token naming one.
    std::string Target(bool tokens = true) {
        if (tokens && random_.Percent(12))
            return Blanked(std::string(random_.Percent(80) ? "~%V00" : "~%v00") + std::to_string(1 + random_.Below(3)));
        const std::string name = random_.Percent(75) ? random_.Pick(kCommandSections) : random_.Pick(kOtherTargets);
        return Blanked(Cased(name));
    }

    std::string Targets(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += "," + Target();
        return text;
    }

    std::string Comment() { return random_.Percent(10) ? " ; a comment" : ""; }

    std::string Command() {
        const int roll = random_.Below(100);
        std::string line;
        if (roll < 14) line = std::string("32,") + Blanked(random_.Pick(kWords));
        else if (roll < 17) line = "33";
        else if (roll < 21) line = "5";
        else if (roll < 26) line = random_.Percent(80) ? "6" : "6,Loop";
        else if (roll < 33) line = random_.Percent(80) ? "7" : "7, S1";
        else if (roll < 36) line = "0";
        else if (roll < 37) line = "8";
        else if (roll < 39) line = "10";
        else if (roll < 51) line = random_.Percent(85) ? "19" + Targets(1) : "19 ," + Target();
        else if (roll < 55) line = "20";
        else if (roll < 60) line = "9" + Targets(2);
        else if (roll < 64) line = "18" + Targets(7);
        else if (roll < 70) line = "25," + Blanked(Cased(random_.Percent(85) ? "Boards" : "Gone")) + Targets(2);
        else if (roll < 79) line = SetValue();
        else if (roll < 84) line = random_.Percent(70) ? "27,,V00" + std::to_string(1 + random_.Below(3)) + "," +
                                                             Target(false)
                                                       : "27," + Blanked("Names");
        else if (roll < 88) line = "38" + Targets(2);
        else if (roll < 91) line = "17," + std::string(random_.Percent(80) ? "Ask" : "Nope") + "," +
                                   std::to_string(random_.Below(7)) + Targets(2);
        else if (roll < 93) line = "30" + Targets(3);
        else if (roll < 95) line = random_.Percent(50) ? "40" : "22";
        else line = "7";
        return line + Comment();
    }

    std::string SetValue() {
        switch (random_.Below(21) / 4) {
        case 0: return "26,,DATA,DecCommand," + Step(true);
        case 1: return "26,," + Blanked("DATA") + "," + Blanked("IncCommand") + "," + Blanked(Step(false));
        case 2: return "26,,Variables,V00" + std::to_string(1 + random_.Below(3)) + "," + Target(false);
        case 3: return "26," + Blanked("Values");
        case 4: return "26,,DATA,IncCommand," + Step(false);
        default: return "26,,State,NextSection," + Target();
        }
    }
};

}  // namespace

GeneratedCase GenerateCase(std::uint64_t seed) { return Generator(seed).Make(); }

}  // namespace plan_fuzz
