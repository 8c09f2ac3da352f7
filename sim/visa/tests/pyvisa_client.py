"""Opens the simulated VISA library with PyVISA, lists its resources, and
opens, identifies and closes every instrument and serial port of the test
inventory through PyVISA's resource classes, as any VISA client would."""
import os
import sys

import pyvisa
from pyvisa import constants

MANUFACTURER = 0x3C5A

# Every PXI instrument of the inventory and the identity it answers.
BOARDS = {
    "PXI1::10::INSTR": (MANUFACTURER, 0x718),  # named by the inventory
    "PXI1::11::INSTR": (MANUFACTURER, 0x747),
    "PXI1::12::INSTR": (MANUFACTURER, 0x718),  # the board kind's own
    "PXI1::13::INSTR": (MANUFACTURER, 0x747),
    "PXI1::14::INSTR": (MANUFACTURER, 0x726),
    "PXI1::15::INSTR": (MANUFACTURER, 0x775),
    "PXI1::16::INSTR": (0, 0),  # the generic board is no model
}

# Every serial port: a request and its answer, None for a line where
# nothing answers.
SERIAL_PORTS = {
    "ASRL4::INSTR": ("$V00", "$V22"),  # the crate's controller at address 0
    "ASRL5::INSTR": ("*IDN?", "*IDN?"),  # an echo
    "ASRL6::INSTR": None,
}


def check_closed(rm, res, session):
    res.close()
    try:
        rm.visalib.get_attribute(session, constants.VI_ATTR_RSRC_NAME)
    except pyvisa.errors.VisaIOError as error:
        assert error.error_code == constants.StatusCode.error_invalid_object, error
    else:
        raise AssertionError("session %d still open" % session)


def check_boards(rm):
    for name, identity in BOARDS.items():
        res = rm.open_resource(name)
        session = res.session
        assert res.resource_name == name, res.resource_name
        assert res.interface_type == constants.InterfaceType.pxi, res.interface_type
        manf = res.get_visa_attribute(constants.VI_ATTR_MANF_ID)
        model = res.get_visa_attribute(constants.VI_ATTR_MODEL_CODE)
        assert (manf, model) == identity, (name, hex(manf), hex(model))
        check_closed(rm, res, session)
        if identity != (0, 0):
            # What a driver of the model searches with finds it.
            found = rm.list_resources(
                "PXI?*INSTR {VI_ATTR_MODEL_CODE == %#x && VI_ATTR_MANF_ID == %#x}" % (model, manf))
            assert name in found, (name, found)


def check_serial_ports(rm):
    for name, exchange in SERIAL_PORTS.items():
        res = rm.open_resource(name)
        session = res.session
        assert res.resource_name == name, res.resource_name
        assert res.interface_type == constants.InterfaceType.asrl, res.interface_type
        if exchange:
            res.read_termination = "\r\n"
            res.write_termination = "\r\n"
            request, answer = exchange
            got = res.query(request)
            assert got == answer, (name, got)
        check_closed(rm, res, session)


def main(library, inventory):
    os.environ["TQ_SIM_VISA"] = inventory
    rm = pyvisa.ResourceManager(library)
    names = rm.list_resources("?*INSTR")
    assert sorted(names) == sorted(list(BOARDS) + list(SERIAL_PORTS)), names
    info = rm.resource_info("inventory718")
    assert info.resource_name == "PXI1::10::INSTR", info
    assert info.alias == "inventory718", info
    session, status = rm.visalib.open(rm.session, "PXI1::10::INSTR")
    assert status == constants.StatusCode.success, status
    value, _ = rm.visalib.in_32(session, constants.AddressSpace.pxi_bar2, 0)
    assert value == 0, value
    rm.visalib.close(session)
    check_boards(rm)
    check_serial_ports(rm)
    assert not rm.list_opened_resources(), rm.list_opened_resources()
    rm.close()
    print("pyvisa client: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
