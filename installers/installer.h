// What every model installer shares: the command line, the lookup of the
// model inside the write transaction, the description appender through which
// help texts reach the database, the catalogue writer driven by a model's
// declarative table, and the removal of a model with what hangs off it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tq::installer
{

constexpr int kMakerId = 15450;

// ---- The declarative catalogue -------------------------------------------

enum class ItemType { Textbox, Menu, Checkbox, Int, Real };

// One menu choice: the text shown, the driver constant's value, and for the
// help text the constant's name (null: the choice is listed by its name) and
// what it means (may be null). A menu the resource manager keeps for itself
// stores a text in place of a constant (text not null).
struct Choice {
    const char *name;
    long value;
    const char *constant = nullptr;
    const char *meaning = nullptr;
    const char *text = nullptr;
};

// One non-virtual property of a category.
struct Item {
    const char *property;
    ItemType type;
    const char *label;
    int width; // 0: not written, the column's default applies
    double min = 0, max = 0;
    const char *dflt = "";
    int orderseq = 65535;
    const char *tooltip = "";
    // Help text: what the setter sets, and what its value parameter means.
    const char *sets = "";
    const char *valueHelp = "";
    std::vector<Choice> choices = {};
    bool indexed = false; // the setter takes an index before the value
    const char *indexName = "channel";
    int postResetUnknown = 0;
    // Set for a virtual item that carries its description in its insert: it
    // gets no help text, no progress line and no ispostresetunknown.
    const char *inlineDescription = nullptr;
};

// The three virtual items that recur in catalogues with identical rows.
enum class StandardItem { None, Rank, Decimation, Expression };

// An attribute may introduce the item it names: one of the standard virtual
// items, or a virtual item of the model's own written right after it.
struct Attribute {
    const char *name;
    const char *value;
    StandardItem introduces = StandardItem::None;
    std::optional<Item> item = std::nullopt;
};

enum class CategoryKind { FunctionGroup, Options, Configuration };

struct Category {
    CategoryKind kind;
    const char *name;
    int orderseq = 65535;
    const char *indexRange = "";
    const char *indexLabel = "";
    int demo = 0;
    std::vector<Attribute> attributes = {};
    std::vector<const char *> help = {}; // paragraphs
    std::vector<Item> items = {};
    bool bareHelp = false; // the help is one sentence outside any paragraph
};

struct Operation {
    const char *name;
    long progressMask;
    const char *tooltip;
    const char *function; // the driver function named first in the help text
    std::vector<const char *> help; // paragraphs after the function's name
};

using Block = std::variant<Category, Operation>;

struct Catalogue {
    int model;
    const char *platform;
    const char *prefix; // lower case; constants carry it in capitals
    const char *productName;
    const char *pnpLibName;
    std::vector<const char *> help; // paragraphs after the heading
    std::vector<Block> blocks;
    // The physical interface through which devices of the model are found,
    // shared by name with other models (null: none).
    const char *pinterfaceName = nullptr;
    const char *pinterfaceLib = nullptr;
};

// ---- Description appender -------------------------------------------------

// Help text goes to a row's description in chunks of at most kChunk
// characters counted as SQL would quote them (a quote counts twice), each
// chunk appended with "||" in the order of the text.
class Appender
{
  public:
    static constexpr int kChunk = 2047;

    // 1 when pending text was written, 0 when none was pending, -1 when the
    // write failed. (table, id) becomes the target either way.
    int flush(sqlite3 *db, const char *table, int64_t id);
    // Negative when a write failed (the character is dropped), else 0 or 1.
    int appendChar(sqlite3 *db, const char *table, int64_t id, char c);
    // Negative when any part failed, else the result of the last character.
    int append(sqlite3 *db, const char *table, int64_t id, const std::string &text);
    void reset();

  private:
    std::string pending_; // unquoted; its quoted length is kChunk - room_
    std::string table_;
    int64_t id_ = 0;
    int room_ = kChunk;
};

// ---- Program --------------------------------------------------------------

// Writes the catalogue inside the caller's open transaction, progress lines
// to out. False on the first failed statement or append.
bool writeCatalogue(sqlite3 *db, const Catalogue &catalogue, Appender &appender, FILE *out);

// Deletes the model's catalogue and its virtual resources with their
// memberships, stored values, assigned devices and settings, inside the
// caller's open transaction; configuration databases and what they hold stay.
// False when any statement failed.
bool removeModel(sqlite3 *db, int64_t modelId);

// The whole program: "insert" or "remove", exit status 0 on success (also
// when there was nothing to do), non-zero on any failure with a line on err.
int runInstaller(int argc, char **argv, const Catalogue &catalogue, FILE *out = stdout, FILE *err = stderr);

} // namespace tq::installer
