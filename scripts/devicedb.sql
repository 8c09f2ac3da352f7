-- Schema of the device database, run by scripts/setup-devicedb through the
-- sqlite3 tool. Only that script creates the file; the libraries and the
-- installers open it and never create a table.
--
-- Every key is an integer primary key with AUTOINCREMENT: a deleted row's id
-- is never handed out again, so a stale id kept by a caller (a listing, a
-- mark, an installer's catalogue row) can never name a newer row.
--
-- Text columns that the statements compare with quoted text have TEXT
-- affinity; columns compared with bare numbers have INTEGER or NUMERIC
-- affinity, so that '3' and 3 compare equal (configs.property_index is
-- inserted as a bare number and looked up as quoted text).
--
-- Defaults the statements rely on:
--  * description columns default to '' so that installers can append help
--    text with "||" (NULL || text would stay NULL);
--  * db_resource.enable defaults to 1: linking a resource into a database
--    makes a member that the operation and configuration walks reach (they
--    select enable = 1); disabling is an explicit choice;
--  * presource.autodetect defaults to 1: discovery inserts the rows it finds
--    and verifies exactly those again at the next refresh;
--  * ui_item.ispostresetunknown defaults to '0' (the driver holds the default
--    after a reset), so a stored value equal to the default is dropped rather
--    than kept; items whose value after a reset cannot be predicted say so;
--  * handle and deviceHandle default to NULL (nothing open).
PRAGMA journal_mode = WAL;
PRAGMA foreign_keys = OFF;

BEGIN;

CREATE TABLE users (
    users_id INTEGER PRIMARY KEY AUTOINCREMENT,
    username TEXT NOT NULL UNIQUE,
    first_name TEXT NOT NULL DEFAULT '',
    last_name TEXT NOT NULL DEFAULT '',
    email TEXT NOT NULL DEFAULT '',
    password TEXT NOT NULL DEFAULT '',
    handle INTEGER DEFAULT NULL
);

CREATE TABLE pinterface (
    pinterface_id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL,
    lib TEXT NOT NULL
);

CREATE TABLE model (
    model_id INTEGER PRIMARY KEY AUTOINCREMENT,
    vendor INTEGER NOT NULL,
    model INTEGER NOT NULL,
    platform TEXT NOT NULL DEFAULT '',
    prefix TEXT NOT NULL,
    productname TEXT NOT NULL DEFAULT '',
    pnplibname TEXT NOT NULL,
    pinterface_id INTEGER DEFAULT NULL,
    description TEXT NOT NULL DEFAULT '',
    UNIQUE (vendor, model)
);

CREATE TABLE category (
    category_id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL,
    orderseq INTEGER NOT NULL DEFAULT 65535,
    property_index_range TEXT NOT NULL DEFAULT '',
    property_index_label TEXT NOT NULL DEFAULT '',
    demo INTEGER NOT NULL DEFAULT 0,
    description TEXT NOT NULL DEFAULT ''
);

CREATE TABLE ui (
    model_id INTEGER NOT NULL,
    category_id INTEGER NOT NULL
);
CREATE INDEX ui_model ON ui (model_id);

CREATE TABLE model_options (
    model_id INTEGER NOT NULL,
    category_id INTEGER NOT NULL
);
CREATE INDEX model_options_model ON model_options (model_id);

CREATE TABLE category_attributes (
    category_id INTEGER NOT NULL,
    name TEXT NOT NULL,
    value TEXT
);
CREATE INDEX category_attributes_category ON category_attributes (category_id);

CREATE TABLE ui_item (
    ui_item_id INTEGER PRIMARY KEY AUTOINCREMENT,
    category_id INTEGER NOT NULL,
    type TEXT NOT NULL,
    width INTEGER DEFAULT NULL,
    label TEXT NOT NULL DEFAULT '',
    min NUMERIC DEFAULT NULL,
    max NUMERIC DEFAULT NULL,
    dflt TEXT,
    property TEXT NOT NULL,
    description TEXT NOT NULL DEFAULT '',
    tooltip TEXT NOT NULL DEFAULT '',
    orderseq INTEGER NOT NULL DEFAULT 65535,
    ispostresetunknown TEXT NOT NULL DEFAULT '0',
    isvirtual INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ui_item_category ON ui_item (category_id);

CREATE TABLE ui_item_unavail (
    ui_item_id INTEGER NOT NULL,
    user_id INTEGER NOT NULL
);

CREATE TABLE ui_pair (
    ui_pair_id INTEGER PRIMARY KEY AUTOINCREMENT,
    ui_item_id INTEGER NOT NULL,
    name TEXT NOT NULL,
    value TEXT NOT NULL
);
CREATE INDEX ui_pair_item ON ui_pair (ui_item_id);

CREATE TABLE operation (
    operation_id INTEGER PRIMARY KEY AUTOINCREMENT,
    model_id INTEGER NOT NULL,
    progressmask INTEGER NOT NULL DEFAULT 0,
    operation TEXT NOT NULL,
    tooltip TEXT NOT NULL DEFAULT '',
    description TEXT NOT NULL DEFAULT ''
);
CREATE INDEX operation_model ON operation (model_id);

CREATE TABLE vresource (
    vresource_id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE,
    model_id INTEGER NOT NULL,
    description TEXT NOT NULL DEFAULT '',
    deviceHandle INTEGER DEFAULT NULL
);

CREATE TABLE vresource_options (
    vresource_options_id INTEGER PRIMARY KEY AUTOINCREMENT,
    vresource_id INTEGER NOT NULL,
    ui_item_id INTEGER NOT NULL,
    value TEXT
);
CREATE INDEX vresource_options_vresource ON vresource_options (vresource_id);

CREATE TABLE presource (
    presource_id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE,
    model_id INTEGER NOT NULL,
    vresource_id INTEGER DEFAULT NULL,
    deviceHandle INTEGER DEFAULT NULL,
    autodetect INTEGER NOT NULL DEFAULT 1
);
CREATE INDEX presource_vresource ON presource (vresource_id);

CREATE TABLE presource_options (
    presource_id INTEGER NOT NULL,
    ui_item_id INTEGER NOT NULL,
    value TEXT
);

CREATE TABLE padapter (
    padapter_id INTEGER PRIMARY KEY AUTOINCREMENT,
    frontend_id INTEGER NOT NULL,
    backend_id INTEGER NOT NULL,
    connector_index INTEGER
);

CREATE TABLE vadapter (
    vadapter_id INTEGER PRIMARY KEY AUTOINCREMENT,
    frontend_id INTEGER NOT NULL,
    backend_id INTEGER NOT NULL,
    connector_index INTEGER
);

CREATE TABLE db (
    db_id INTEGER PRIMARY KEY AUTOINCREMENT,
    vresource_id INTEGER NOT NULL
);

CREATE TABLE db_resource (
    db_id INTEGER NOT NULL,
    vresource_id INTEGER NOT NULL,
    enable INTEGER NOT NULL DEFAULT 1,
    UNIQUE (db_id, vresource_id)
);

CREATE TABLE configs (
    configs_id INTEGER PRIMARY KEY AUTOINCREMENT,
    db_id INTEGER NOT NULL,
    vresource_id INTEGER NOT NULL,
    category_id INTEGER,
    property TEXT NOT NULL,
    property_index NUMERIC DEFAULT NULL,
    seq_id INTEGER NOT NULL DEFAULT 1,
    value TEXT
);
CREATE INDEX configs_lookup ON configs (db_id, vresource_id, property);

CREATE TABLE formula (
    formula_id INTEGER PRIMARY KEY AUTOINCREMENT,
    db_id INTEGER NOT NULL,
    name TEXT NOT NULL,
    operator TEXT NOT NULL DEFAULT '=',
    expression TEXT NOT NULL DEFAULT ''
);

CREATE TABLE stream (
    stream_id INTEGER PRIMARY KEY AUTOINCREMENT,
    db_id INTEGER NOT NULL,
    decimation INTEGER NOT NULL DEFAULT 1,
    name TEXT NOT NULL
);

CREATE TABLE displaywindow (
    displaywindow_id INTEGER PRIMARY KEY AUTOINCREMENT,
    stream_id INTEGER NOT NULL,
    xpos INTEGER, ypos INTEGER, width INTEGER, height INTEGER,
    bgcolor INTEGER,
    title TEXT NOT NULL DEFAULT ''
);

CREATE TABLE graphobject (
    graphobject_id INTEGER PRIMARY KEY AUTOINCREMENT,
    displaywindow_id INTEGER NOT NULL,
    xpos INTEGER, ypos INTEGER, width INTEGER, height INTEGER,
    bgcolor INTEGER,
    gridenable INTEGER,
    starttime REAL,
    duration REAL,
    title TEXT NOT NULL DEFAULT ''
);

CREATE TABLE axisinfo (
    axisinfo_id INTEGER PRIMARY KEY AUTOINCREMENT,
    graphobject_id INTEGER NOT NULL,
    center REAL,
    span REAL,
    color INTEGER,
    enable INTEGER,
    eu TEXT NOT NULL DEFAULT ''
);

CREATE TABLE channelenable (
    channelenable_id INTEGER PRIMARY KEY AUTOINCREMENT,
    axisinfo_id INTEGER NOT NULL,
    color INTEGER,
    iscolorfixed INTEGER,
    enable INTEGER,
    name TEXT NOT NULL
);

CREATE TABLE appdata (
    key TEXT NOT NULL,
    value TEXT,
    db_id INTEGER,
    UNIQUE (key, db_id)
);

CREATE TABLE eventhandler (
    rsrcname TEXT NOT NULL,
    mask INTEGER,
    callback INTEGER,
    userdata INTEGER,
    msgbuf INTEGER
);

CREATE TABLE rsrc_settings (
    vresource_id INTEGER NOT NULL
);

CREATE TABLE system (
    system_id INTEGER PRIMARY KEY,
    user_id INTEGER DEFAULT NULL,
    db_id INTEGER DEFAULT NULL,
    datapath TEXT NOT NULL DEFAULT ''
);

COMMIT;
