/* Run under wine against midicompose.dll: composes the chord byte for byte,
 * replaces an existing file whole keeping its attributes and access rules,
 * refuses a read-only file, writes a hard-linked file through both names,
 * and gets 18 for a missing directory. */
#include <windows.h>
#include <aclapi.h>
#include <stdio.h>
#include <string.h>

#include "midicompose.h"

static const unsigned char kChord[65] = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x4D, 0x54, 0x72,
    0x6B, 0x00, 0x00, 0x00, 0x2B, 0x00, 0xC0, 0x28, 0x00, 0x90, 0x3C, 0x64, 0x87, 0x40, 0x80, 0x3C, 0x00,
    0x00, 0x90, 0x40, 0x64, 0x83, 0x60, 0x80, 0x40, 0x00, 0x00, 0x90, 0x43, 0x64, 0x83, 0x60, 0x80, 0x43,
    0x00, 0x00, 0x90, 0x48, 0x64, 0x87, 0x40, 0x80, 0x48, 0x00, 0x00, 0xFF, 0x2F, 0x00};
static const char kOld[] = "an older and longer file that must be replaced whole";

static int Compose(const wchar_t* path) { return MIDICompose(L"C:2 E:1 G:1 C5:2", path, L"violin", L"1.0"); }

static int SameAs(const wchar_t* path, const void* want, size_t size) {
    unsigned char bytes[128];
    size_t n;
    FILE* file = _wfopen(path, L"rb");
    if (file == NULL) return 0;
    n = fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    return n == size && memcmp(bytes, want, n) == 0;
}

static void WriteOld(const wchar_t* path) {
    FILE* old;
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    old = _wfopen(path, L"wb");
    if (old != NULL) {
        fputs(kOld, old);
        fclose(old);
    }
}

/* Number of entries in the file's DACL, or -1 where it has none to read. */
static int AclEntries(const wchar_t* path) {
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR sd = NULL;
    ACL_SIZE_INFORMATION info;
    int n = -1;
    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &dacl, NULL, &sd) ==
            ERROR_SUCCESS && dacl != NULL && GetAclInformation(dacl, &info, sizeof info, AclSizeInformation)) {
        n = (int)info.AceCount;
    }
    if (sd != NULL) LocalFree(sd);
    return n;
}

/* Gives the file an ACL of its own: one entry, full access for Everyone. */
static int SetOwnAcl(const wchar_t* path) {
    EXPLICIT_ACCESSW entry;
    PACL acl = NULL;
    int ok;
    memset(&entry, 0, sizeof entry);
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    entry.Trustee.ptstrName = (LPWSTR)L"EVERYONE";
    if (SetEntriesInAclW(1, &entry, NULL, &acl) != ERROR_SUCCESS) return 0;
    ok = SetNamedSecurityInfoW((LPWSTR)path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               NULL, NULL, acl, NULL) == ERROR_SUCCESS;
    LocalFree(acl);
    return ok;
}

static int checks = 0, failures = 0;
static void Check(int ok, const char* what) {
    ++checks;
    if (!ok) {
        ++failures;
        fprintf(stderr, "FAILED: %s\n", what);
    }
}

int main(void) {
    const wchar_t* path = L"chord \x00FC.mid"; /* a name outside ASCII */
    const wchar_t* link = L"chord link.mid";
    DWORD attributes;
    int acl;
    _wremove(path);
    Check(Compose(path) == COMPOSE_OK, "compose");
    Check(SameAs(path, kChord, sizeof kChord), "chord bytes");

    WriteOld(path);
    SetFileAttributesW(path, FILE_ATTRIBUTE_HIDDEN);
    attributes = GetFileAttributesW(path);
    Check(Compose(path) == COMPOSE_OK, "replace");
    Check(SameAs(path, kChord, sizeof kChord), "replaced bytes");
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN)) {
        attributes = GetFileAttributesW(path);
        Check(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN), "replaced file stays hidden");
    } else {
        printf("not checked: this wine keeps no hidden attribute on this file system\n");
    }

    WriteOld(path);
    SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY);
    Check(Compose(path) == COMPOSE_SAVE_FAILED, "a read-only file is refused");
    Check(SameAs(path, kOld, strlen(kOld)), "a read-only file keeps its bytes");
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);

    WriteOld(path);
    _wremove(link);
    if (CreateHardLinkW(link, path, NULL)) {
        Check(Compose(path) == COMPOSE_OK, "compose over a hard-linked file");
        Check(SameAs(link, kChord, sizeof kChord), "the other name sees the new bytes");
        _wremove(link);
    } else {
        printf("not checked: this wine cannot make hard links\n");
    }

    WriteOld(path);
    if (SetOwnAcl(path) && AclEntries(path) == 1) {
        Check(Compose(path) == COMPOSE_OK, "compose over a file with its own ACL");
        Check(AclEntries(path) == 1, "the replaced file keeps its own ACL");
    } else {
        printf("not checked: this wine keeps no ACL of a file's own\n");
    }

    Check(MIDICompose(L"C", L"missing\\x.mid", L"piano", L"1") == COMPOSE_SAVE_FAILED, "missing directory");

    /* The UTF-8 entry point: in memory, and saved through a UTF-8 path. */
    {
        MIDIComposeResult result;
        memset(&result, 0, sizeof result);
        result.size = sizeof result;
        Check(MIDIComposeUTF8("C:2 E:1 G:1 C5:2", NULL, "violin", "1.0", &result) == COMPOSE_OK &&
                  result.length == sizeof kChord && memcmp(result.data, kChord, sizeof kChord) == 0,
              "in-memory chord");
        MIDIComposeFreeResult(&result);
        _wremove(path);
        Check(MIDIComposeUTF8("C:2 E:1 G:1 C5:2", "chord \xC3\xBC.mid", "violin", "1.0", NULL) == COMPOSE_OK &&
                  SameAs(path, kChord, sizeof kChord),
              "chord saved through a UTF-8 path");
        /* A name with a lone surrogate, as Python's os.fsencode gives it,
         * names the same file as the UTF-16 name itself. */
        {
            const int wide = Compose(L"lone \xD800.mid");
            const int wideSaved = SameAs(L"lone \xD800.mid", kChord, sizeof kChord);
            _wremove(L"lone \xD800.mid");
            printf("lone surrogate: UTF-16 entry %d, saved %d\n", wide, wideSaved);
            Check(MIDIComposeUTF8("C:2 E:1 G:1 C5:2", "lone \xED\xA0\x80.mid", "violin", "1.0", NULL) == wide &&
                      SameAs(L"lone \xD800.mid", kChord, sizeof kChord) == wideSaved,
                  "a UTF-8 path holding a lone surrogate names the file its UTF-16 name does");
            _wremove(L"lone \xD800.mid");
        }
    }
    _wremove(path);
    printf("wine consumer: %d of %d checks passed\n", checks - failures, checks);
    return failures == 0 ? 0 : 1;
}
