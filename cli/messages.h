/* The texts the command's files share. */
#ifndef MIDICOMPOSE_CLI_MESSAGES_H
#define MIDICOMPOSE_CLI_MESSAGES_H

/* What a failed allocation prints where the library could hand over no
 * message of its own: its own words, from its status table, so the two
 * read the same. */
#define MIDICOMPOSE_CLI_PRINT_NO_MEMORY() \
    fprintf(stderr, "Error: %s\n", MIDIComposeStatusMessage(COMPOSE_NO_MEMORY))

/* The exit status of a usage error, of a batch that clashes, and of notes
 * that could not be read. */
#define EXIT_USAGE 2

/* The exit status of a composition that --strict refuses for its warnings. */
#define EXIT_STRICT 4

#endif
