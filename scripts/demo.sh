#!/bin/bash
echo "The demo arrives with the setup program." >&2
