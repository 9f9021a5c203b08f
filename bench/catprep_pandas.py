#!/usr/bin/env python3
"""The baseline of catprep's benchmark: the ComCat CSV to catalog conversion
as a seismologist would script it with pandas.

Usage: catprep_pandas.py INPUT.csv OUTPUT.cat

read_csv; earthquakes only (and empty types); rows with depth and magnitude;
the time parsed as UTC; dat = days since 1900-01-01 from the nanosecond
time, rounded to 8 decimals; the first row of an id wins; sorted by dat,
time and id; written as "tim lat lon dep mag dat nam". The texts of lat, lon,
depth and mag are kept as read (read as strings), as catprep keeps them.
"""
import sys

import numpy as np
import pandas as pd


def main():
    src, dst = sys.argv[1], sys.argv[2]
    text = {c: str for c in ("latitude", "longitude", "depth", "mag", "id", "type")}
    df = pd.read_csv(src, usecols=["time", "latitude", "longitude", "depth", "mag", "id", "type"], dtype=text,
                     keep_default_na=False)
    kind = df["type"].str.strip().str.lower()
    df = df[(kind == "earthquake") | (kind == "")]
    df = df[(df["depth"] != "") & (df["mag"] != "")]
    t = pd.to_datetime(df["time"], utc=True)
    ns = (t - pd.Timestamp("1900-01-01", tz="UTC")).to_numpy().astype("int64")
    df = df.assign(dat=np.round(ns / 86400e9, 8), tim=t.dt.strftime("%Y-%m-%dT%H:%M:%S.%f").str[:-3] + "Z")
    df = df.drop_duplicates("id", keep="first")
    df = df.sort_values(["dat", "tim", "id"], kind="stable")
    df["dat"] = df["dat"].map("{:.8f}".format)
    df[["tim", "latitude", "longitude", "depth", "mag", "dat", "id"]].to_csv(dst, sep=" ", header=False, index=False)


if __name__ == "__main__":
    main()
