"""Opens the simulated VISA library with PyVISA, lists its resources and
reads the identity attributes, as any VISA client would."""
import os
import sys

import pyvisa
from pyvisa import constants


def main(library, inventory):
    os.environ["TQ_SIM_VISA"] = inventory
    rm = pyvisa.ResourceManager(library)
    names = rm.list_resources("PXI?*INSTR")
    assert names == ("PXI1::10::INSTR", "PXI1::11::INSTR"), names
    found = rm.list_resources("PXI?*INSTR {VI_ATTR_MODEL_CODE == 0x747}")
    assert found == ("PXI1::11::INSTR",), found
    info = rm.resource_info("inventory718")
    assert info.resource_name == "PXI1::10::INSTR", info
    assert info.alias == "inventory718", info
    session, status = rm.visalib.open(rm.session, "PXI1::10::INSTR")
    assert status == constants.StatusCode.success, status
    manf, _ = rm.visalib.get_attribute(session, constants.VI_ATTR_MANF_ID)
    model, _ = rm.visalib.get_attribute(session, constants.VI_ATTR_MODEL_CODE)
    assert (manf, model) == (0x3C5A, 0x718), (manf, model)
    value, _ = rm.visalib.in_32(session, constants.AddressSpace.pxi_bar2, 0)
    assert value == 0, value
    rm.visalib.close(session)
    rm.close()
    print("pyvisa client: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
