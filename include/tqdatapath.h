/* Where the professional instrument records when no data path is set: one
 * constant shared by the instrument and its catalogue's default. */
#ifndef TQDATAPATH_H
#define TQDATAPATH_H

#define TQ_PANELMATEPRO_DATA_PATH "/var/lib/panelmate/data"

#endif
