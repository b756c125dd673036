// The lexer module body, in source order: its imports and the three classes.
// The line numbers are those that an "init vellary.feaLib.lexer" traceback
// entry reports.
#include "lexer.h"

namespace lexer {

const vy::Name n_Lexer{"Lexer"}, n_FeatureLibError{"FeatureLibError"}, n_IncludedFeaNotFound{"IncludedFeaNotFound"},
    n_FeatureLibLocation{"FeatureLibLocation"}, n_re{"re"}, n_os{"os"};

const vy::Name n_NUMBER{"NUMBER"}, n_HEXADECIMAL{"HEXADECIMAL"}, n_OCTAL{"OCTAL"}, n_FLOAT{"FLOAT"},
    n_STRING{"STRING"}, n_NAME{"NAME"}, n_FILENAME{"FILENAME"}, n_GLYPHCLASS{"GLYPHCLASS"}, n_CID{"CID"},
    n_SYMBOL{"SYMBOL"}, n_COMMENT{"COMMENT"}, n_NEWLINE{"NEWLINE"}, n_ANONYMOUS_BLOCK{"ANONYMOUS_BLOCK"};
const vy::Name n_CHAR_WHITESPACE_{"CHAR_WHITESPACE_"}, n_CHAR_NEWLINE_{"CHAR_NEWLINE_"},
    n_CHAR_SYMBOL_{"CHAR_SYMBOL_"}, n_CHAR_DIGIT_{"CHAR_DIGIT_"}, n_CHAR_HEXDIGIT_{"CHAR_HEXDIGIT_"},
    n_CHAR_NAME_START_{"CHAR_NAME_START_"}, n_CHAR_NAME_CONTINUATION_{"CHAR_NAME_CONTINUATION_"},
    n_RE_GLYPHCLASS{"RE_GLYPHCLASS"}, n_MODE_NORMAL_{"MODE_NORMAL_"}, n_MODE_FILENAME_{"MODE_FILENAME_"};

const vy::Name n_filename_{"filename_"}, n_line_{"line_"}, n_pos_{"pos_"}, n_line_start_{"line_start_"},
    n_text_{"text_"}, n_text_length_{"text_length_"}, n_mode_{"mode_"};
const vy::Name n_lexers_{"lexers_"}, n_featurefilepath{"featurefilepath"}, n_includeDir{"includeDir"};
const vy::Name n_next_{"next_"}, n_location_{"location_"}, n_scan_over_{"scan_over_"},
    n_scan_until_{"scan_until_"}, n_scan_anonymous_block{"scan_anonymous_block"}, n_dunder_next{"__next__"},
    n_next{"next"}, n_make_lexer_{"make_lexer_"};

const vy::Builtin b_object{"object"}, b_staticmethod{"staticmethod"}, b_open{"open"};

namespace {

const vy::Name n_NUMBERS{"NUMBERS"}, n_CHAR_LETTER_{"CHAR_LETTER_"}, n_IncludingLexer{"IncludingLexer"},
    n_NonIncludingLexer{"NonIncludingLexer"}, n_compile{"compile"};

const char kIncludingLexerDoc[] =
    "A lexer that follows include statements.\n"
    "\n"
    "The OpenType feature file specification asks that relative paths in\n"
    "include statements be resolved, for historical reasons, first against\n"
    "the font source directory, then against the top-level feature file, and\n"
    "last against the including file.  Only the first (through ``includeDir``)\n"
    "and the second are supported.\n";

// Class attributes every token may read, shared by every thread: immortal.
vy::Ref str(const char* text) { return vy::constant_text(text); }
vy::Ref concat(const vy::Ref& a, const vy::Ref& b) { return vy::constant_text(vy::own(PyNumber_Add(a.get(), b.get()))); }

void lexer_body(vy::Exec& x, vy::ClassBody& cb) {
    // Every token type is the string of its own name.
    const vy::Name* const types[] = {&n_NUMBER, &n_HEXADECIMAL, &n_OCTAL};
    for (int i = 0; i < 3; ++i) {
        x.at(17 + i);
        cb.set(*types[i], types[i]->get());
    }
    x.at(20);
    cb.set(n_NUMBERS, vy::own(PyTuple_Pack(3, cb.get(n_NUMBER).get(), cb.get(n_HEXADECIMAL).get(),
                                         cb.get(n_OCTAL).get())));
    const vy::Name* const more[] = {&n_FLOAT,  &n_STRING, &n_NAME,    &n_FILENAME, &n_GLYPHCLASS,
                                    &n_CID,    &n_SYMBOL, &n_COMMENT, &n_NEWLINE,  &n_ANONYMOUS_BLOCK};
    for (int i = 0; i < 10; ++i) {
        x.at(21 + i);
        cb.set(*more[i], more[i]->get());
    }

    x.at(32);
    cb.set(n_CHAR_WHITESPACE_, str(" \t"));
    x.at(33);
    cb.set(n_CHAR_NEWLINE_, str("\r\n"));
    x.at(34);
    cb.set(n_CHAR_SYMBOL_, str(",;:-+'{}[]<>()="));
    x.at(35);
    cb.set(n_CHAR_DIGIT_, str("0123456789"));
    x.at(36);
    cb.set(n_CHAR_HEXDIGIT_, str("0123456789ABCDEFabcdef"));
    x.at(37);
    cb.set(n_CHAR_LETTER_, str("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    x.at(38);
    {
        vy::Ref tail = str("_+*:.^~!\\");
        cb.set(n_CHAR_NAME_START_, concat(cb.get(n_CHAR_LETTER_), tail));
    }
    x.at(39);
    {
        vy::Ref alnum = vy::own(PyNumber_Add(cb.get(n_CHAR_LETTER_).get(), cb.get(n_CHAR_DIGIT_).get()));
        vy::Ref tail = str("_.+*:^~!/-");
        cb.set(n_CHAR_NAME_CONTINUATION_, concat(alnum, tail));
    }

    x.at(41);
    {
        vy::Ref re = x.get(n_re);
        vy::Ref compile = vy::own(PyObject_GetAttr(re.get(), n_compile.get()));
        vy::Ref pattern = str("^[A-Za-z_0-9.\\-]+$");
        vy::Ref compiled = vy::call(compile.get(), {pattern.get()});
        cb.set(n_RE_GLYPHCLASS, compiled);
        Py_XSETREF(g_glyphclass_re, compiled.release());
    }

    x.at(43);
    cb.set(n_MODE_NORMAL_, str("NORMAL"));
    x.at(44);
    cb.set(n_MODE_FILENAME_, n_FILENAME.get());  // the very object of FILENAME

    cb.def(lexer_init_def);
    cb.def(lexer_iter_def);
    cb.def(lexer_next_def);
    cb.def(lexer_dunder_next_def);
    cb.def(location_def);
    cb.def(next_def);
    cb.def(scan_over_def);
    cb.def(scan_until_def);
    cb.def(scan_anonymous_block_def);
}

void body(vy::Exec& x) {
    x.at(10);
    x.import_from("vellary.feaLib.error", {&n_FeatureLibError, &n_IncludedFeaNotFound});
    x.at(11);
    x.import_from("vellary.feaLib.location", {&n_FeatureLibLocation});
    record_location_type(x.get(n_FeatureLibLocation).get());
    x.at(12);
    x.import("re", n_re);
    x.at(13);
    x.import("os", n_os);

    x.at(16);
    {
        vy::Ref cls = x.make_class("Lexer", {b_object.get()}, nullptr, [&](vy::ClassBody& cb) { lexer_body(x, cb); });
        record_pristine(cls.get());
        x.set(n_Lexer, cls.get());
    }

    x.at(208);
    x.set(n_IncludingLexer, x.make_class("IncludingLexer", {b_object.get()}, kIncludingLexerDoc, [&](vy::ClassBody& cb) {
        x.at(218);
        vy::Ref kwdefaults = vy::own(PyDict_New());
        vy::check(PyDict_SetItem(kwdefaults.get(), n_includeDir.get(), Py_None));
        cb.def(including_init_def, {}, std::move(kwdefaults));
        cb.def(including_iter_def);
        cb.def(including_next_def);
        cb.def(including_dunder_next_def);
        cb.def_static(make_lexer_def, b_staticmethod.get());
        cb.def(including_scan_anonymous_block_def);
    }));

    x.at(301);
    vy::Ref base = x.get(n_IncludingLexer);
    x.set(n_NonIncludingLexer,
          x.make_class("NonIncludingLexer", {base.get()},
                       "Lexer that does not follow `include` statements, emits them as-is.", [&](vy::ClassBody& cb) {
                           cb.def(nonincluding_dunder_next_def);
                       }));
}


const vy::ModuleDef kModule{
    .dotted = "vellary.feaLib.lexer",
    .short_name = "lexer",
    .file = "feaLib/lexer",
    .doc = nullptr,
    .body = body,
};

}  // namespace

}  // namespace lexer

PyMODINIT_FUNC PyInit_lexer(void) { return vy::init_module(lexer::kModule); }
