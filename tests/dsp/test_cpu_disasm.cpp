// Disassembles every object of corvane-dsp and checks that each CPU slot holds only the
// instructions its processors have: no AVX (VEX encodings, ymm, zmm) and no fused multiply-add
// in slots 0 to 3 and the common code, no fused multiply-add, AVX2-only or AVX-512
// instructions (zmm, mask registers, EVEX encodings) in slot 4, no AVX-512 in slot 5. In 32-bit
// objects, which must run on processors without SSE2, slot 0 and the common code use no SSE at
// all. It also checks that the objects whose code streams carry a store fence.
//
// DSP_OBJECT_LIST names a file of lines "<slot>\t<object path>" (slot 0..5, 2n or common);
// DSP_OBJDUMP is the disassembler. The program runs on the build machine: the Windows build
// makes it with the build machine's compiler and points it at its i686 objects.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Object {
    std::string slot, path;
};

std::vector<Object> objects() {
    std::vector<Object> list;
    std::ifstream in(DSP_OBJECT_LIST);
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab + 1 >= line.size()) continue;
        list.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return list;
}

struct Instruction {
    std::string function;
    std::vector<int> bytes;
    std::string text;     // mnemonic and operands
    bool bits32 = false;  // from a 32-bit object
};

// The instructions of one object; *ok is false when the disassembler failed on it.
std::vector<Instruction> disassemble(const std::string& path, bool* ok = nullptr) {
    std::vector<Instruction> out;
    if (ok) *ok = false;
    const std::string cmd = std::string(DSP_OBJDUMP) + " -d -w --insn-width=16 '" + path + "'";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return out;
    static const std::regex symbol(R"(^[0-9a-f]+ <([^>]+)>:)");
    static const std::regex format(R"(file format (\S+))");
    std::string function;
    bool bits32 = false;
    char buf[4096];
    while (fgets(buf, sizeof buf, pipe)) {
        std::string line(buf);
        std::smatch m;
        if (std::regex_search(line, m, format)) {
            // elf32-i386, pe-i386; not elf64-x86-64 or pe-x86-64
            bits32 = m.str(1).find("i386") != std::string::npos;
            continue;
        }
        if (std::regex_search(line, m, symbol)) {
            function = m[1];
            continue;
        }
        // "   1f:\t62 f1 fd 48 28 c1 \tvmovapd %zmm1,%zmm0"
        const size_t t1 = line.find(":\t");
        if (t1 == std::string::npos) continue;
        const size_t t2 = line.find('\t', t1 + 2);
        if (t2 == std::string::npos) continue;
        Instruction ins{function, {}, line.substr(t2 + 1), bits32};
        std::istringstream hex(line.substr(t1 + 2, t2 - t1 - 2));
        std::string byte;
        while (hex >> byte) ins.bytes.push_back(std::stoi(byte, nullptr, 16));
        while (!ins.text.empty() && (ins.text.back() == '\n' || ins.text.back() == ' '))
            ins.text.pop_back();
        out.push_back(ins);
    }
    const int status = pclose(pipe);
    if (ok) *ok = status == 0;
    return out;
}

// The first opcode byte after legacy prefixes (segment, operand and address size, lock, rep).
int leadByte(const Instruction& ins) {
    static const std::set<int> prefixes = {0x26, 0x2e, 0x36, 0x3e, 0x64, 0x65,
                                           0x66, 0x67, 0xf0, 0xf2, 0xf3};
    for (int b : ins.bytes)
        if (!prefixes.count(b)) return b;
    return -1;
}

bool has(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

// In 64-bit mode the lead bytes below always start a VEX or EVEX prefix; in 32-bit mode only
// when the next byte's top two bits are set (otherwise they are LES, LDS and BOUND).
bool prefixedBy(const Instruction& ins, std::initializer_list<int> leads) {
    const int b = leadByte(ins);
    bool lead = false;
    for (int l : leads) lead |= b == l;
    if (!lead || !ins.bits32) return lead;
    for (size_t i = 0; i + 1 < ins.bytes.size(); ++i)
        if (ins.bytes[i] == b) return (ins.bytes[i + 1] & 0xc0) == 0xc0;
    return false;
}
bool isVex(const Instruction& ins) {
    return prefixedBy(ins, {0xc4, 0xc5});
}
bool isEvex(const Instruction& ins) {
    return prefixedBy(ins, {0x62});
}
// Any SSE instruction: an xmm register, MXCSR, or the few that name neither.
bool isSse(const Instruction& ins) {
    return has(ins.text, "%xmm") || has(ins.text, "mxcsr") ||
           std::regex_search(ins.text, std::regex(R"(^(movnti|lfence|mfence|clflush|maskmovq))"));
}
bool isFma(const Instruction& ins) {
    return std::regex_search(ins.text, std::regex(R"(^vf(n)?m(add|sub))"));
}
bool usesMask(const Instruction& ins) {
    return std::regex_search(ins.text, std::regex(R"(%k[0-7])"));
}
bool isAvx2Only(const Instruction& ins) {
    static const std::regex avx2(
        R"(^(vpbroadcast|vbroadcasti128|vinserti128|vextracti128|vperm2i128|vpermq|vpermd|vpermpd|vpermps|vgather|vpgather|vpmaskmov|vpsllv|vpsrlv|vpsrav|vpblendd))");
    if (std::regex_search(ins.text, avx2)) return true;
    // 256-bit integer arithmetic is AVX2, except the few AVX forms below.
    return has(ins.text, "%ymm") && ins.text.rfind("vp", 0) == 0 &&
           !std::regex_search(ins.text, std::regex(R"(^(vptest|vpermil|vperm2f128))"));
}

// What a slot's objects must not contain; empty when the instruction is allowed.
std::string violation(const std::string& slot, const Instruction& ins) {
    const bool avx512 = isEvex(ins) || has(ins.text, "%zmm") || usesMask(ins);
    if (ins.bits32 && (slot == "0" || slot == "common") && isSse(ins)) return "SSE";
    if (slot == "0" || slot == "1" || slot == "2" || slot == "2n" || slot == "3" ||
        slot == "common") {
        if (isVex(ins) || isEvex(ins)) return "VEX/EVEX encoding";
        if (has(ins.text, "%ymm") || has(ins.text, "%zmm")) return "AVX register";
        if (isFma(ins)) return "fused multiply-add";
    } else if (slot == "4") {
        if (isFma(ins)) return "fused multiply-add";
        if (avx512) return "AVX-512";
        if (isAvx2Only(ins)) return "AVX2";
    } else if (slot == "5") {
        if (avx512) return "AVX-512";
    }
    return "";
}

TEST(Disassembly, EverySlotKeepsToItsInstructionSet) {
    const std::vector<Object> objs = objects();
    ASSERT_FALSE(objs.empty()) << "no object list at " << DSP_OBJECT_LIST;
    std::map<std::string, int> perSlot;
    int instructions = 0, reported = 0;
    for (const Object& o : objs) {
        bool ok = false;
        const std::vector<Instruction> code = disassemble(o.path, &ok);
        ASSERT_TRUE(ok) << "could not disassemble " << o.path;
        ++perSlot[o.slot];
        instructions += static_cast<int>(code.size());
        for (const Instruction& ins : code) {
            const std::string why = violation(o.slot, ins);
            if (why.empty()) continue;
            ADD_FAILURE() << "slot " << o.slot << ": " << why << " in " << ins.function << " ("
                          << o.path << "): " << ins.text;
            if (++reported > 30) return;
        }
    }
    for (const char* slot : {"0", "1", "2", "3", "4", "5", "common"})
        EXPECT_GT(perSlot[slot], 0) << "no objects of slot " << slot;
    EXPECT_GT(instructions, 1000);
}

// The objects whose code makes non-temporal stores also fence them.
TEST(Disassembly, StreamingCodeIsFenced) {
    int checked = 0;
    for (const Object& o : objects()) {
        const std::string name = o.path.substr(o.path.find_last_of('/') + 1);
        if (name.rfind("vector.slots", 0) != 0 && name.rfind("fill.slots", 0) != 0 &&
            name.rfind("memory.slots", 0) != 0)
            continue;
        bool streams = false, fences = false;
        for (const Instruction& ins : disassemble(o.path)) {
            streams |= std::regex_search(ins.text, std::regex(R"(^v?movnt)"));
            fences |= ins.text.rfind("sfence", 0) == 0;
        }
        if (streams) {
            ++checked;
            EXPECT_TRUE(fences) << o.path << " streams without a store fence";
        }
    }
    // Products of slots 1 to 3, fills of slots 1 and 5, zero and copy of slots 4 and 5, in
    // the product library and the test library.
    EXPECT_GE(checked, 14);
}

// The instruction classes themselves, on hand-made instructions, so the checks above cannot
// pass by recognising nothing.
TEST(Disassembly, ClassifierRecognisesEachClass) {
    struct Case {
        std::vector<int> bytes;
        std::string text;
        const char* slot;
        bool allowed;
        bool bits32 = false;
    };
    const Case cases[] = {
        {{0x66, 0x0f, 0x59, 0xc1}, "mulpd  %xmm1,%xmm0", "1", true},
        {{0xc5, 0xf9, 0x59, 0xc1}, "vmulpd %xmm1,%xmm0,%xmm0", "3", false},
        {{0xc5, 0xfd, 0x59, 0xc1}, "vmulpd %ymm1,%ymm0,%ymm0", "common", false},
        {{0xc5, 0xfd, 0x59, 0xc1}, "vmulpd %ymm1,%ymm0,%ymm0", "4", true},
        {{0xc4, 0xe2, 0xf1, 0xa8, 0xc2}, "vfmadd213pd %xmm2,%xmm1,%xmm0", "4", false},
        {{0xc4, 0xe2, 0xf1, 0xa8, 0xc2}, "vfmadd213pd %xmm2,%xmm1,%xmm0", "5", true},
        {{0x62, 0xf1, 0xfd, 0x48, 0x59, 0xc1}, "vmulpd %zmm1,%zmm0,%zmm0", "5", false},
        {{0x62, 0xf1, 0xfd, 0x08, 0x59, 0xc1}, "vmulpd %xmm1,%xmm0,%xmm0", "4", false},
        {{0xc5, 0xf8, 0x41, 0xc1}, "kandw  %k1,%k0,%k0", "4", false},
        {{0xc4, 0xe2, 0x7d, 0x19, 0xc0}, "vbroadcastsd %xmm0,%ymm0", "4", true},
        {{0xc4, 0xe2, 0x7d, 0x59, 0xc0}, "vpbroadcastq %xmm0,%ymm0", "4", false},
        {{0xc5, 0xfd, 0xd4, 0xc1}, "vpaddq %ymm1,%ymm0,%ymm0", "4", false},
        {{0x0f, 0xae, 0xf8}, "sfence", "0", true},
        // 32-bit objects: no SSE in slot 0 and the common code, SSE2 in slot 1.
        {{0xf2, 0x0f, 0x59, 0xc1}, "mulsd  %xmm1,%xmm0", "0", true, false},
        {{0xf2, 0x0f, 0x59, 0xc1}, "mulsd  %xmm1,%xmm0", "0", false, true},
        {{0xf2, 0x0f, 0x59, 0xc1}, "mulsd  %xmm1,%xmm0", "1", true, true},
        {{0x0f, 0xae, 0x54, 0x24, 0x04}, "ldmxcsr 0x4(%esp)", "common", false, true},
        {{0x0f, 0xc3, 0x02}, "movnti %eax,(%edx)", "0", false, true},
        {{0xdc, 0x4c, 0x24, 0x04}, "fmull  0x4(%esp)", "0", true, true},
        {{0xc4, 0x42, 0x04}, "les    0x4(%edx),%eax", "0", true, true},
        {{0xc5, 0xf9, 0x59, 0xc1}, "vmulpd %xmm1,%xmm0,%xmm0", "3", false, true},
    };
    for (const Case& c : cases) {
        Instruction ins{"f", c.bytes, c.text, c.bits32};
        EXPECT_EQ(violation(c.slot, ins).empty(), c.allowed) << c.text << " in slot " << c.slot;
    }
}

}  // namespace
