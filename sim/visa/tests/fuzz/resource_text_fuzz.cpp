// Fuzz target for the text the simulated library takes from outside: find
// expressions with attribute clauses, resource names (and names derived
// from them) and instrument settings. The first byte chooses the parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "instrument.h"
#include "rsrcexpr.h"
#include "rsrcname.h"

using namespace tq::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0: {
        ResourceExpression e;
        if (e.compile(text) == VI_SUCCESS) {
            for (const char *name : {"PXI1::14::INSTR", "PXI0::MEMACC", "", "GPIB0::1::INSTR"})
                if (e.matchesName(name))
                    e.matchesAttributes([](ViAttr a, AttributeValue &v) {
                        v.isText = a == VI_ATTR_MODEL_NAME;
                        v.number = 0x718;
                        v.text = "Model 718";
                        return a != VI_ATTR_SLOT;
                    });
        }
        break;
    }
    case 1: {
        ResourceName r;
        parseResourceName(text, r);
        isDerivedResourceName(text);
        break;
    }
    case 2: {
        InstrumentConfig c;
        std::string error;
        parseInstrumentSettings(text, c, error);
        break;
    }
    }
    return 0;
}
