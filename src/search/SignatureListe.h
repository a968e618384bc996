// Ed25519 signatures of a service's list.
//
// A service that declares its public key (CLE_PUBLIQUE_LISTE: standard base64,
// padded, of the key's 32 raw bytes) publishes beside its list, at the list's
// address + ".sig", the standard base64 of the 64-byte Ed25519 signature of the
// list file's exact bytes. The list is accepted only when that signature
// verifies.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Decodes standard base64 with its padding and nothing else around it than
// spaces and line ends; false on any other text (another alphabet, missing
// padding, stray characters).
bool DecodeBase64Strict(QByteArrayView texte, QByteArray& octets);

// The 32 raw bytes of a public key given as the variable holds it; false when
// the text is not the base64 of exactly 32 bytes.
bool DecodeClePublique(const QString& texte, QByteArray& cle);

// True when `signature` (64 raw bytes) is the Ed25519 signature of `message`
// by the key `cle` (32 raw bytes).
bool VerifieSignatureEd25519(QByteArrayView cle, QByteArrayView signature,
                             QByteArrayView message);

// The same check cut in two around the message, so that its hash is computed
// while the list arrives. Ed25519 accepts when [S]B = R + [k]A, where R and S
// are the signature's halves, A the key and k = SHA-512(R || A || message)
// modulo the group's order: PrefixeEd25519 gives what is hashed before the
// message (R and A), ConclutEd25519 takes the 64-byte hash and does the curve
// arithmetic (a fraction of a millisecond, whatever the message's size).
// Stricter than the whole check on keys only: a key outside the prime-order
// subgroup, which no key generator makes, is refused.
QByteArray PrefixeEd25519(QByteArrayView cle, QByteArrayView signature);
bool ConclutEd25519(QByteArrayView cle, QByteArrayView signature, QByteArrayView hachage);

// Decodes a signature file's text (base64 of 64 bytes); false when it is not one.
bool DecodeSignature(QByteArrayView texte, QByteArray& signature);

// Verifies the signature file's text (base64) against the file at `cheminListe`.
enum class VerdictSignature { Valide, Illisible, Fausse };
VerdictSignature VerifieSignatureListe(QByteArrayView cle, QByteArrayView texteSignature,
                                       const QString& cheminListe);
